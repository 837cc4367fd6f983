// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/gui/qtext.h"

#include "text/gbtext.h"

namespace qorin::text {

QString toQt(std::string_view gb) {
  if (isAscii(gb)) return QString::fromLatin1(gb.data(), static_cast<qsizetype>(gb.size()));
  if (auto u = gbToUtf8(gb)) return QString::fromUtf8(u->data(), static_cast<qsizetype>(u->size()));
  // Convert character by character so that one bad byte spoils only itself.
  QString out;
  for (std::size_t i = 0; i < gb.size();) {
    const std::size_t n = charLength(gb, i);
    if (auto u = gbToUtf8(gb.substr(i, n)))
      out += QString::fromUtf8(u->data(), static_cast<qsizetype>(u->size()));
    else
      out += QChar(0xFFFD);
    i += n;
  }
  return out;
}

std::optional<std::string> fromQt(const QString& s) {
  const QByteArray u = s.toUtf8();
  if (QString::fromUtf8(u) != s) return std::nullopt;  // lone surrogates do not survive
  return utf8ToGb(std::string_view(u.constData(), static_cast<std::size_t>(u.size())));
}

std::string fromQtOrEmpty(const QString& s) { return fromQt(s).value_or(std::string()); }

}  // namespace qorin::text
