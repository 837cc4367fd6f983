// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "answering_dialogs.h"
#include "app/colour_picker.h"
#include "app/main_window.h"
#include "app/settings_window.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/spin_edit.h"
#include "session/settings.h"
#include "text/gbtext.h"
#include "ui_settings_window.h"

using namespace qorin;
using namespace qorin::session;
using namespace qorin::app;

namespace {

// Records the font each chooser opening was preset with.
class FontRecordingDialogs : public testing::AnsweringDialogs {
 public:
  QList<QFont> initialFonts;
  std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override {
    initialFonts.append(initial);
    return AnsweringDialogs::chooseFont(owner, initial);
  }
};

Settings sampleSettings() {
  Settings s = defaultSettings();
  s.autoPreview = 1;
  s.previewAllEntries = 1;
  s.previewCount = 37;
  s.fontColour = 0x00102030;
  s.backgroundColour = 0x00E0D0C0;
  s.fontName = text::gb("黑体");
  s.fontSize = 14;
  return s;
}

struct Window {
  testing::ProgramDirectory home;
  FontRecordingDialogs dialogs;
  MainWindow main{home.places(), dialogs};
  std::unique_ptr<SettingsWindow> w;

  explicit Window(const Settings& s) {
    main.session().settings() = s;
    main.applyDisplaySettings();
    w = std::make_unique<SettingsWindow>(main.session(), dialogs, &main);
    w->show();
  }
  Ui::SettingsWindow* ui() const { return w->ui(); }
  // By design name, for the tables that check names and captions.
  template <class T>
  T* c(const char* name) const {
    T* p = w->findChild<T*>(QString::fromUtf8(name));
    if (!p) qFatal("no control %s", name);
    return p;
  }
  bool applyEnabled() const { return ui()->应用按钮->isEnabled(); }
  void click(const char* name) const { QTest::mouseClick(c<QAbstractButton>(name), Qt::LeftButton); }
};

}  // namespace

Q_DECLARE_METATYPE(std::function<void(Window&)>)

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutCarriesTheDesign() {
    Window t(defaultSettings());
    QCOMPARE(t.w->windowTitle(), QStringLiteral("设置"));
    // The design's outer 411 × 180 less a frame and caption of 8 × 27.
    QCOMPARE(t.w->size(), QSize(403, 153));
    struct Caption {
      const char* name;
      const char* text;
    };
    const Caption captions[] = {{"自动预览选择框", "自动预览"}, {"预览指定数量单选框", "预览的项目数："},
                                {"预览全部单选框", "预览全部"}, {"字体按钮", "字体..."},
                                {"默认按钮", "恢复默认"},       {"确定按钮", "确定"},
                                {"取消按钮", "取消"},           {"应用按钮", "应用"}};
    for (const Caption& cap : captions)
      QCOMPARE(t.c<QAbstractButton>(cap.name)->text(), QString::fromUtf8(cap.text));
    for (auto [name, text] : {std::pair{"标签1", "预览框字体的大小"}, std::pair{"标签2", "预览框字体的颜色"},
                              std::pair{"标签3", "预览框背景的颜色"}})
      QCOMPARE(t.c<QLabel>(name)->text(), QString::fromUtf8(text));
    auto* count = t.ui()->预览数量编辑框;
    QCOMPARE(count->minimum(), 1);
    QCOMPARE(count->maximum(), 200);
    QCOMPARE(count->maxLength(), 3);
    QCOMPARE(count->parentWidget()->objectName(), QStringLiteral("分组框1"));
    QVERIFY(!t.applyEnabled());
  }

  void showSettingsFillsTheControls_data() {
    QTest::addColumn<int>("autoPreview");
    QTest::addColumn<int>("all");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bold");
    QTest::addColumn<int>("italic");
    QTest::addColumn<bool>("presetBold");
    QTest::addColumn<bool>("presetItalic");
    QTest::newRow("defaults") << 0 << 0 << 10 << 0 << 0 << false << false;
    QTest::newRow("all, bold") << 1 << 1 << 37 << 1 << 0 << true << false;
    QTest::newRow("italic") << 1 << 0 << 0 << 0 << 1 << false << true;
    QTest::newRow("bold italic") << 0 << 1 << 200 << 1 << 1 << true << true;
    // Values the loader never produces leave the chooser's style alone.
    QTest::newRow("odd flags") << 0 << 0 << 5 << 2 << 0 << false << false;
  }
  void showSettingsFillsTheControls() {
    QFETCH(int, autoPreview);
    QFETCH(int, all);
    QFETCH(int, count);
    QFETCH(int, bold);
    QFETCH(int, italic);
    QFETCH(bool, presetBold);
    QFETCH(bool, presetItalic);
    Settings s = sampleSettings();
    s.autoPreview = autoPreview;
    s.previewAllEntries = all;
    s.previewCount = count;
    s.bold = bold;
    s.italic = italic;
    Window t(s);
    QCOMPARE(t.ui()->自动预览选择框->isChecked(), autoPreview == 1);
    QCOMPARE(t.ui()->预览指定数量单选框->isChecked(), all == 0);
    QCOMPARE(t.ui()->预览全部单选框->isChecked(), all != 0);
    QCOMPARE(t.ui()->预览数量编辑框->text(), QString::number(count));
    QCOMPARE(t.ui()->超级列表框背景颜色选择器->colourRef(), s.backgroundColour);
    QCOMPARE(t.ui()->超级列表框字体颜色选择器->colourRef(), s.fontColour);
    QCOMPARE(t.w->fontChoice(),
             (SettingsWindow::FontChoice{QStringLiteral("黑体"), 14, presetBold, presetItalic}));
    QVERIFY(!t.applyEnabled());

    t.click("字体按钮");  // cancelled: nothing changes
    QCOMPARE(t.dialogs.initialFonts.size(), 1);
    const QFont preset = t.dialogs.initialFonts[0];
    // 黑体 where it is installed, else the CJK face that stands in for it.
    QCOMPARE(preset.family(), platform::installedFace(QStringLiteral("黑体")));
    QVERIFY(QFontDatabase::hasFamily(preset.family()));
    QCOMPARE(preset.pointSize(), 14);
    QCOMPARE(preset.bold(), presetBold);
    QCOMPARE(preset.italic(), presetItalic);
    QVERIFY(!t.applyEnabled());
  }

  void okWithoutChangesChangesNothing() {
    for (const Settings& s : {defaultSettings(), sampleSettings()}) {
      Window t(s);
      QVERIFY(!t.applyEnabled());
      t.click("确定按钮");
      QVERIFY(!t.w->isVisible());
      QCOMPARE(t.main.session().settings(), s);
    }
  }

  void defaultsThenCancelLeavesSettings() {
    const Settings s = sampleSettings();
    Window t(s);
    t.click("默认按钮");
    QVERIFY(t.applyEnabled());
    QVERIFY(!t.ui()->自动预览选择框->isChecked());
    QVERIFY(t.ui()->预览指定数量单选框->isChecked());
    QCOMPARE(t.ui()->预览数量编辑框->text(), QStringLiteral("10"));
    QCOMPARE(t.ui()->超级列表框背景颜色选择器->colourRef(), 8429696);
    QCOMPARE(t.ui()->超级列表框字体颜色选择器->colourRef(), 8388608);
    QCOMPARE(t.w->fontChoice(), (SettingsWindow::FontChoice{QStringLiteral("宋体"), 10, false, false}));
    QVERIFY(!t.ui()->预览全部单选框->isEnabled());
    t.click("取消按钮");
    QVERIFY(!t.w->isVisible());
    QCOMPARE(t.main.session().settings(), s);
  }

  void defaultsThenOkStoresDefaults() {
    Settings s = sampleSettings();
    s.bold = 1;  // the style flags are not taken back from the window
    Window t(s);
    t.click("默认按钮");
    t.click("确定按钮");
    Settings expected = defaultSettings();
    expected.bold = 1;
    QCOMPARE(t.main.session().settings(), expected);
  }

  // Where 宋体 is missing, the list shows an installed CJK face and the
  // chooser opens on that face, not on Qt's default.
  void songTiFallsBackToAnInstalledChineseFace() {
    Window t(defaultSettings());
    t.click("字体按钮");
    QCOMPARE(t.dialogs.initialFonts.size(), 1);
    const QString face = t.dialogs.initialFonts[0].family();
    QCOMPARE(t.main.listView()->font().family(), face);
    QVERIFY(QFontDatabase::hasFamily(face));
    if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
      QSKIP("no Chinese face installed");
    QVERIFY2(QFontDatabase::writingSystems(face).contains(QFontDatabase::SimplifiedChinese),
             qPrintable(face));
    QVERIFY(QFontInfo(t.main.listView()->font()).family() == face);  // really used, not substituted
  }

  void fontFaceChosenThenCancelledStays() {
    const Settings s = sampleSettings();
    Window t(s);
    QFont chosen(QStringLiteral("Noto Sans CJK SC"));
    chosen.setPointSize(21);
    chosen.setBold(true);
    t.dialogs.fonts.push_back(chosen);
    t.click("字体按钮");
    QVERIFY(t.applyEnabled());
    QCOMPARE(t.main.session().settings().fontName, std::string("Noto Sans CJK SC"));
    QCOMPARE(t.main.session().settings().fontSize, 14);
    QCOMPARE(t.w->fontChoice(),
             (SettingsWindow::FontChoice{QStringLiteral("Noto Sans CJK SC"), 21, true, false}));
    // The next opening of the chooser starts from what was chosen.
    t.click("字体按钮");
    QCOMPARE(t.dialogs.initialFonts.last().pointSize(), 21);
    QVERIFY(t.dialogs.initialFonts.last().bold());
    t.click("取消按钮");
    Settings expected = s;
    expected.fontName = "Noto Sans CJK SC";
    QCOMPARE(t.main.session().settings(), expected);
  }

  void fontChosenThenAppliedTakesFaceAndSize() {
    Window t(sampleSettings());
    QFont chosen(QStringLiteral("DejaVu Sans"));
    chosen.setPointSize(9);
    t.dialogs.fonts.push_back(chosen);
    t.click("字体按钮");
    t.click("应用按钮");
    QCOMPARE(t.main.session().settings().fontName, std::string("DejaVu Sans"));
    QCOMPARE(t.main.session().settings().fontSize, 9);
    QCOMPARE(t.main.listView()->font().pointSize(), 9);
    QCOMPARE(t.main.listView()->font().family(), QStringLiteral("DejaVu Sans"));
  }

  void previewControlStates_data() {
    QTest::addColumn<int>("autoPreview");
    QTest::addColumn<int>("storedAll");
    QTest::addColumn<QString>("action");  // a control to click, or empty
    QTest::addColumn<bool>("radiosEnabled");
    QTest::addColumn<bool>("countEnabled");
    QTest::newRow("off") << 0 << 0 << "" << false << false;
    QTest::newRow("off, stored all") << 0 << 1 << "" << false << false;
    QTest::newRow("on") << 1 << 0 << "" << true << true;
    QTest::newRow("on, stored all") << 1 << 1 << "" << true << false;
    QTest::newRow("ticked") << 0 << 0 << "自动预览选择框" << true << true;
    QTest::newRow("unticked") << 1 << 0 << "自动预览选择框" << false << false;
    QTest::newRow("ticked, stored all") << 0 << 1 << "自动预览选择框" << true << false;
    QTest::newRow("count chosen") << 1 << 1 << "预览指定数量单选框" << true << true;
    QTest::newRow("all chosen") << 1 << 0 << "预览全部单选框" << true << false;
  }
  void previewControlStates() {
    QFETCH(int, autoPreview);
    QFETCH(int, storedAll);
    QFETCH(QString, action);
    QFETCH(bool, radiosEnabled);
    QFETCH(bool, countEnabled);
    Settings s = defaultSettings();
    s.autoPreview = autoPreview;
    s.previewAllEntries = storedAll;
    Window t(s);
    if (!action.isEmpty()) t.click(action.toUtf8().constData());
    QCOMPARE(t.ui()->预览指定数量单选框->isEnabled(), radiosEnabled);
    QCOMPARE(t.ui()->预览全部单选框->isEnabled(), radiosEnabled);
    QCOMPARE(t.ui()->预览数量编辑框->isEnabled(), countEnabled);
    QCOMPARE(t.applyEnabled(), !action.isEmpty());
  }

  void tickingWithStoredAllKeepsCountDisabled() {
    Settings s = defaultSettings();
    s.previewAllEntries = 1;
    Window t(s);
    t.ui()->预览指定数量单选框->setChecked(true);
    t.click("自动预览选择框");
    QVERIFY(t.ui()->预览指定数量单选框->isChecked());
    QVERIFY(!t.ui()->预览数量编辑框->isEnabled());
  }

  void everyChangeEnablesApply_data() {
    QTest::addColumn<std::function<void(Window&)>>("change");
    QTest::addColumn<bool>("enables");
    auto type = [](const char* text) {
      return [text](Window& t) {
        auto* e = t.ui()->预览数量编辑框;
        e->setEnabled(true);
        e->selectAll();
        QTest::keyClicks(e, QString::fromUtf8(text));
      };
    };
    QTest::newRow("count typed") << std::function<void(Window&)>(type("7")) << true;
    QTest::newRow("count set from code") << std::function<void(Window&)>([](Window& t) {
      t.ui()->预览数量编辑框->setText(QStringLiteral("3"));
    }) << true;
    QTest::newRow("background chosen") << std::function<void(Window&)>([](Window& t) {
      t.dialogs.colours.push_back(QColor(1, 2, 3));
      t.click("超级列表框背景颜色选择器");
    }) << true;
    QTest::newRow("font colour chosen") << std::function<void(Window&)>([](Window& t) {
      t.dialogs.colours.push_back(QColor(4, 5, 6));
      t.click("超级列表框字体颜色选择器");
    }) << true;
    QTest::newRow("colour chooser cancelled")
        << std::function<void(Window&)>([](Window& t) { t.click("超级列表框背景颜色选择器"); }) << false;
    QTest::newRow("defaults") << std::function<void(Window&)>([](Window& t) { t.click("默认按钮"); }) << true;
    QTest::newRow("nothing") << std::function<void(Window&)>([](Window&) {}) << false;
  }
  void everyChangeEnablesApply() {
    QFETCH(std::function<void(Window&)>, change);
    QFETCH(bool, enables);
    // The stored count equals the box's initial text, so opening raises no
    // change report; the first real change must still count.
    for (int count : {10, 37}) {
      Settings s = defaultSettings();
      s.autoPreview = 1;
      s.previewCount = count;
      Window t(s);
      QVERIFY(!t.applyEnabled());
      change(t);
      QCOMPARE(t.applyEnabled(), enables);
    }
  }

  void chosenColoursAreStoredAsColourRefs() {
    Window t(defaultSettings());
    t.dialogs.colours.push_back(QColor(0x11, 0x22, 0x33));
    t.dialogs.colours.push_back(QColor(0xFE, 0x00, 0x80));
    t.click("超级列表框背景颜色选择器");
    t.click("超级列表框字体颜色选择器");
    t.click("确定按钮");
    QCOMPARE(t.main.session().settings().backgroundColour, 0x00332211);
    QCOMPARE(t.main.session().settings().fontColour, 0x008000FE);
  }

  void countIsStoredAsItsNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("number") << "123" << 123;
    QTest::newRow("fraction") << "7.9" << 7;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("leading number") << "12x" << 12;
    QTest::newRow("negative") << "-5" << 0;
  }
  void countIsStoredAsItsNumber() {
    QFETCH(QString, text);
    QFETCH(int, stored);
    Settings s = defaultSettings();
    s.autoPreview = 1;
    s.previewCount = 55;
    Window t(s);
    t.ui()->预览数量编辑框->setText(text);
    QVERIFY(t.applyEnabled());
    t.click("应用按钮");
    QVERIFY(!t.applyEnabled());
    QCOMPARE(t.main.session().settings().previewCount, stored);
  }

  void applyShowsAtOnce() {
    Window t(defaultSettings());
    QCOMPARE(t.main.statusPart(2)->text(), QStringLiteral("自动预览－关"));
    testing::makeFiles(t.home.file("files"), {"a.txt", "b.txt"});
    t.main.list()->addDirectory(t.home.file("files"), false);
    testing::generalPage(t.main)->文件名前缀编辑框->setText(QStringLiteral("x_"));
    QVERIFY(t.main.fileList()[0].newNameCell.empty());

    t.click("自动预览选择框");
    t.dialogs.colours.push_back(QColor(10, 20, 30));
    t.click("超级列表框背景颜色选择器");
    t.dialogs.colours.push_back(QColor(200, 210, 220));
    t.click("超级列表框字体颜色选择器");
    t.click("应用按钮");
    QVERIFY(t.w->isVisible());
    QVERIFY(!t.applyEnabled());
    QCOMPARE(t.main.statusPart(2)->text(), QStringLiteral("自动预览－开"));
    const QPalette pal = t.main.listView()->palette();
    QCOMPARE(pal.color(QPalette::Active, QPalette::Base), QColor(10, 20, 30));
    QCOMPARE(pal.color(QPalette::Active, QPalette::Text), QColor(200, 210, 220));
    // The preview ran as soon as it was switched on.
    QVERIFY(t.main.fileList()[0].newNameCell.starts_with("x_"));

    t.click("自动预览选择框");
    t.click("确定按钮");
    QCOMPARE(t.main.statusPart(2)->text(), QStringLiteral("自动预览－关"));
    QCOMPARE(t.main.session().settings().autoPreview, 0);
  }

  void menuOpensItModally() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow main(home.places(), dialogs);
    main.session().settings() = sampleSettings();
    QString title;
    QSize size;
    bool modal = false;
    QTimer::singleShot(0, [&] {
      auto* w = qobject_cast<SettingsWindow*>(QApplication::activeModalWidget());
      if (!w) return;
      title = w->windowTitle();
      size = w->size();
      modal = w->isModal();
      w->ui()->自动预览选择框->click();
      w->ui()->确定按钮->click();
    });
    main.openSettings();
    QCOMPARE(title, QStringLiteral("设置"));
    QCOMPARE(size, QSize(403, 153));
    QVERIFY(modal);
    QCOMPARE(main.session().settings().autoPreview, 0);
    QCOMPARE(main.statusPart(2)->text(), QStringLiteral("自动预览－关"));
    QVERIFY(main.findChildren<SettingsWindow*>().isEmpty());
  }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
