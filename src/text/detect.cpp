#include "text/detect.h"

#include "text/gbtext.h"

namespace qorin::text {

Reading readUnlabelled(std::string_view bytes) {
  Reading r;
  r.text = decodeUnlabelled(bytes);
  if (isAscii(bytes)) {
    r.charset = Charset::Ascii;
  } else if (isUtf8(bytes)) {
    r.charset = Charset::Utf8;
  } else {
    r.charset = r.text == bytes ? Charset::Gbk : Charset::Latin1;
  }
  return r;
}

}  // namespace qorin::text
