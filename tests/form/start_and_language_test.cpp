// Start-up, the layout as data, the interface language and its lock, About.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "form/error_box_text.hpp"
#include "form/layout.hpp"
#include "support/fake_view.hpp"

namespace vips::form::testing {
namespace {

using layout::Kind;

// The captions that the language assigns, with the window title and status
// line checked on their own.
bool HasCaption(const layout::Control& control) {
  const Kind kind = control.kind;
  return kind == Kind::Button || kind == Kind::BitBtn || kind == Kind::CheckBox ||
         kind == Kind::GroupBox || kind == Kind::Label;
}

TEST(StartTest, EachLocaleStartsInItsLanguage) {
  struct Case {
    int localeId;
    bool russian;
  };
  // Only Russian (Russia) selects Russian; other Russian-speaking locales don't.
  const Case cases[] = {{1033, false}, {1049, true}, {2073, false}, {0, false}, {1058, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.localeId);
    FakeWindow w(c.localeId);
    EXPECT_EQ(w.form.CurrentLanguage(), c.russian ? Language::Russian : Language::English);
    EXPECT_EQ(w.form.CurrentLanguage(), c.russian ? Language::Russian : Language::English);
    for (const layout::Control& control : layout::kControls) {
      if (!HasCaption(control)) continue;
      const auto& expected = c.russian ? control.caption.russian : control.caption.english;
      EXPECT_EQ(w.Shown(control.id), expected) << control.name;
      EXPECT_EQ(w.form.Text(control.id), expected) << control.name;
    }
    const auto pick = [&](const texts::Bilingual& text) {
      return std::string(c.russian ? text.russian : text.english);
    };
    EXPECT_EQ(w.Shown(ControlId::Window), pick(texts::kWindowTitleAtStart));
    EXPECT_EQ(w.Shown(ControlId::Status), pick(texts::kNeutralStatus));
    EXPECT_EQ(w.Shown(ControlId::OriginalField), pick(texts::kOriginalPlaceholder));
    EXPECT_EQ(w.Shown(ControlId::PatchField), pick(texts::kPatchPlaceholder));
    // The button of the current language is the disabled one.
    EXPECT_EQ(w.view.enabled[IndexOf(ControlId::EnglishButton)], c.russian);
    EXPECT_EQ(w.view.enabled[IndexOf(ControlId::RussianButton)], !c.russian);
    ASSERT_EQ(w.view.languages.size(), 1u);
    EXPECT_EQ(w.view.languages[0], w.form.CurrentLanguage());
  }
}

TEST(StartTest, ControlsStartAsDesigned) {
  FakeWindow w;
  EXPECT_EQ(w.form.BackupTaken, 0);
  EXPECT_FALSE(w.view.enabled[IndexOf(ControlId::Recover)]);
  EXPECT_FALSE(w.form.Enabled(ControlId::Recover));
  EXPECT_TRUE(w.form.Enabled(ControlId::Go));
  EXPECT_TRUE(w.form.Checked(ControlId::BackupCheck));
  EXPECT_TRUE(w.form.Checked(ControlId::MessagesCheck));
  for (ControlId field : {ControlId::ExecuteFrom, ControlId::ExecuteTo, ControlId::CancelFrom,
                          ControlId::CancelTo, ControlId::InvertFrom, ControlId::InvertTo}) {
    EXPECT_EQ(w.Shown(field), "1");
  }
  EXPECT_EQ(w.form.Table().RowCount(), 12);
  EXPECT_FALSE(w.form.OriginalFileChosen());
  EXPECT_FALSE(w.form.PatchFileChosen());
  EXPECT_TRUE(w.view.titleBarFixed);
  // Start-up tints the eight edit fields, and only them.
  for (const layout::Control& control : layout::kControls) {
    const bool edit = control.kind == Kind::Edit || control.kind == Kind::ReadOnlyEdit;
    EXPECT_EQ(w.view.tints[IndexOf(control.id)].has_value(), edit) << control.name;
  }
  EXPECT_EQ(w.view.tints[IndexOf(ControlId::OriginalField)], (Rgb{204, 255, 204}));
  EXPECT_EQ(w.view.tints[IndexOf(ControlId::ExecuteTo)], (Rgb{170, 191, 204}));
  EXPECT_EQ(w.view.tints[IndexOf(ControlId::CancelFrom)], (Rgb{204, 191, 204}));
  EXPECT_EQ(w.view.tints[IndexOf(ControlId::InvertTo)], (Rgb{221, 191, 204}));
  EXPECT_TRUE(w.services.events.empty());
}

TEST(LayoutTest, EveryControlHasAPlaceInsideItsParent) {
  std::set<std::string_view> names;
  for (const layout::Control& control : layout::kControls) {
    EXPECT_TRUE(names.insert(control.name).second) << control.name;
    if (control.kind == Kind::Window) continue;
    const layout::Control& parent = layout::Of(control.parent);
    // A parent is made before its children.
    EXPECT_LT(IndexOf(parent.id), IndexOf(control.id)) << control.name;
    EXPECT_GE(control.left, 0) << control.name;
    EXPECT_GE(control.top, 0) << control.name;
    EXPECT_LE(control.left + control.width, parent.width) << control.name;
    EXPECT_LE(control.top + control.height, parent.height) << control.name;
  }
  // Every control that takes the focus is in the focus order once.
  std::set<ControlId> ordered(layout::kFocusOrder.begin(), layout::kFocusOrder.end());
  EXPECT_EQ(ordered.size(), layout::kFocusOrder.size());
  for (const layout::Control& control : layout::kControls) {
    const Kind kind = control.kind;
    const bool focusable = kind == Kind::Edit || kind == Kind::ReadOnlyEdit ||
                           kind == Kind::Button || kind == Kind::BitBtn || kind == Kind::CheckBox ||
                           kind == Kind::StringGrid;
    EXPECT_EQ(ordered.count(control.id) == 1, focusable) << control.name;
  }
}

TEST(LanguageTest, SwitchTranslatesPlaceholdersAndKeepsFileNames) {
  FakeWindow w;
  w.form.SetText(ControlId::OriginalField, "game.sfc");
  w.form.SetStatus("status: file selected!");
  w.form.SwitchToRussian();
  EXPECT_EQ(w.Shown(ControlId::OriginalField), "game.sfc");
  EXPECT_EQ(w.Shown(ControlId::PatchField), "IPS патч");
  EXPECT_EQ(w.Shown(ControlId::Status), "статус: ...");
  EXPECT_EQ(w.Shown(ControlId::Window), "Velmorant IPS  версия 2.2 ");
  EXPECT_FALSE(w.view.enabled[IndexOf(ControlId::RussianButton)]);
  EXPECT_TRUE(w.view.enabled[IndexOf(ControlId::EnglishButton)]);

  // Back to English: the title assigned by the switch has no trailing space.
  w.form.SwitchToEnglish();
  EXPECT_EQ(w.Shown(ControlId::Window), "Velmorant IPS  version 2.2");
  EXPECT_EQ(w.Shown(ControlId::PatchField), "IPS file");
  EXPECT_EQ(w.Shown(ControlId::ExecuteAll), "Execute all");
  EXPECT_EQ(w.view.languages.back(), Language::English);
}

TEST(LanguageTest, LockDisablesBothFlagsForGood) {
  FakeWindow w;
  w.form.LockLanguage();
  // Even a switch run by other means enables neither button again.
  w.form.SwitchToRussian();
  w.form.SwitchToEnglish();
  EXPECT_TRUE(w.form.LanguageLocked());
  EXPECT_FALSE(w.view.enabled[IndexOf(ControlId::EnglishButton)]);
  EXPECT_FALSE(w.view.enabled[IndexOf(ControlId::RussianButton)]);
}

TEST(LanguageTest, PickFollowsTheLanguage) {
  FakeWindow w;
  EXPECT_EQ(w.form.Pick(texts::kExecuteAllCaption), "Execute all");
  w.form.SwitchToRussian();
  EXPECT_EQ(w.form.Pick(texts::kExecuteAllCaption), "Выполнить всё");
  EXPECT_EQ(w.form.CurrentLanguage(), Language::Russian);
}

TEST(AboutTest, OneBoxInTheCurrentLanguage) {
  for (const int locale : {kEnglishLocale, kRussianLocale}) {
    FakeWindow w(locale);
    w.form.ShowAbout();
    ASSERT_EQ(w.services.messages.size(), 1u);
    const std::string_view first = locale == kRussianLocale ? "Velmorant IPS патчер  версия 2.2\r\n"
                                                            : "Velmorant IPS  version 2.2\r\n";
    EXPECT_TRUE(w.services.messages[0].starts_with(first)) << w.services.messages[0];
  }
}

TEST(ErrorBoxTest, FullStopUnlessTheLastCharacterIsOneOrLower) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"File not found", "File not found."},
      {"I/O error 5", "I/O error 5."},
      {"'x' is not a valid integer value", "'x' is not a valid integer value."},
      {"Disk full.", "Disk full."},
      {"Invalid IPS file!", "Invalid IPS file!"},
      {"ends with space ", "ends with space "},
      {"a,", "a,"},
      {"a-", "a-"},
      {"a/", "a/."},
      {"", ""},
      {"Файл не найден", "Файл не найден."},
      {"?", "?."},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.text), c.shown) << c.text;
}

TEST(ErrorBoxTest, ReportedErrorsGoToTheErrorBox) {
  FakeWindow w;
  w.form.ReportError("File access denied");
  w.form.ReportError("Invalid IPS file!");
  EXPECT_EQ(w.services.events,
            (std::vector<std::string>{"error: File access denied.", "error: Invalid IPS file!"}));
}

}  // namespace
}  // namespace vips::form::testing
