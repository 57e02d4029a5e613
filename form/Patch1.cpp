// The window's logic itself: its state, start-up, the interface language,
// About, and the services every handler uses (status line, error box,
// language lock).
#include "form/Patch1.hpp"

#include "form/error_box_text.hpp"
#include "form/layout.hpp"

namespace vips::form {
namespace {

constexpr int kRussianLocaleId = 1049;  // Russian, Russia, default sort order

}  // namespace

TForm1::TForm1(int localeId, ControlsView& controls, GridView& grid, WindowServices& services)
    : controls_(controls),
      grid_(grid),
      services_(services),
      table_(layout::kGridRowsAtStart),
      localeId_(localeId) {
  // Every control as designed: its English text, enabled, check boxes as
  // designed.
  for (const layout::Control& control : layout::kControls) {
    texts_[IndexOf(control.id)] = control.caption.english;
    enabled_[IndexOf(control.id)] = true;
    checked_[IndexOf(control.id)] = control.checked;
  }
}

const std::string& TForm1::Text(ControlId id) const {
  return texts_[IndexOf(id)];
}

bool TForm1::Enabled(ControlId id) const {
  return enabled_[IndexOf(id)];
}

bool TForm1::Checked(ControlId id) const {
  return checked_[IndexOf(id)];
}

bool TForm1::Click(ControlId id) {
  static constexpr std::pair<ControlId, void (TForm1::*)()> kClicks[] = {
      {ControlId::SpeedButton1, &TForm1::SpeedButton1Click},
      {ControlId::SpeedButton2, &TForm1::SpeedButton2Click},
      {ControlId::Button1, &TForm1::Button1Click},
      {ControlId::Button2, &TForm1::Button2Click},
      {ControlId::Button3, &TForm1::Button3Click},
      {ControlId::Button4, &TForm1::Button4Click},
      {ControlId::Button5, &TForm1::Button5Click},
      {ControlId::Button6, &TForm1::Button6Click},
      {ControlId::Button7, &TForm1::Button7Click},
      {ControlId::Button8, &TForm1::Button8Click},
      {ControlId::Button9, &TForm1::Button9Click},
      {ControlId::Button10, &TForm1::Button10Click},
      {ControlId::BitBtn1, &TForm1::BitBtn1Click},
      {ControlId::BitBtn2, &TForm1::BitBtn2Click},
      {ControlId::BitBtn3, &TForm1::BitBtn3Click},
  };
  for (const auto& [button, handler] : kClicks) {
    if (button == id) {
      (this->*handler)();
      return true;
    }
  }
  return false;
}

void TForm1::TextEdited(ControlId id, std::string_view text) {
  texts_[IndexOf(id)] = text;
}

void TForm1::CheckBoxToggled(ControlId id, bool checked) {
  checked_[IndexOf(id)] = checked;
}

void TForm1::SetText(ControlId id, std::string_view text) {
  texts_[IndexOf(id)] = text;
  controls_.SetText(id, text);
}

void TForm1::SetEnabled(ControlId id, bool enabled) {
  enabled_[IndexOf(id)] = enabled;
  controls_.SetEnabled(id, enabled);
}

void TForm1::SetChecked(ControlId id, bool checked) {
  checked_[IndexOf(id)] = checked;
  controls_.SetChecked(id, checked);
}

void TForm1::FormCreate() {
  LangEnglish = 1;
  LangRussian = 0;
  BackupTaken = 0;
  SetEnabled(ControlId::BitBtn3, false);
  // Only Russian (Russia) selects Russian; every other locale, other
  // Russian-speaking ones included, starts in English.
  if (localeId_ != kRussianLocaleId) ApplyLanguage(Language::English, true);
  if (localeId_ == kRussianLocaleId) ApplyLanguage(Language::Russian, true);
  controls_.RemoveMinimizeMaximizeBoxes();
  for (const layout::Tint& tint : layout::kTints) controls_.SetTint(tint.id, tint.colour);
}

void TForm1::ApplyLanguage(Language language, bool atStart) {
  const bool russian = language == Language::Russian;
  LangEnglish = russian ? 0 : 1;
  LangRussian = russian ? 1 : 0;
  controls_.LanguageChanged(language);

  // A field that shows the other language's placeholder shows no file yet;
  // a file's name stays as it is.
  const auto translatePlaceholder = [&](ControlId field, const texts::Bilingual& placeholder) {
    const std::string_view other = russian ? placeholder.english : placeholder.russian;
    if (Text(field) == other) SetText(field, Pick(placeholder));
  };
  translatePlaceholder(ControlId::Edit1, texts::kOriginalPlaceholder);
  translatePlaceholder(ControlId::Edit2, texts::kPatchPlaceholder);

  // The caption table; the window's title has a start-up form.
  using layout::Kind;
  SetText(ControlId::Form1,
          Pick(atStart ? texts::kWindowTitleAtStart : texts::kWindowTitleAfterSwitch));
  for (const layout::Control& control : layout::kControls) {
    const Kind kind = control.kind;
    if (kind == Kind::Button || kind == Kind::BitBtn || kind == Kind::CheckBox ||
        kind == Kind::GroupBox || kind == Kind::Label) {
      SetText(control.id, Pick(control.caption));
    }
  }

  // The button of the current language is the disabled one; once a patch
  // file has been confirmed both stay disabled.
  SetEnabled(ControlId::SpeedButton1, !languageLocked_ && russian);
  SetEnabled(ControlId::SpeedButton2, !languageLocked_ && !russian);

  SetStatus(Pick(texts::kNeutralStatus));
}

void TForm1::SpeedButton1Click() {
  ApplyLanguage(Language::English, false);
}

void TForm1::SpeedButton2Click() {
  ApplyLanguage(Language::Russian, false);
}

std::string TForm1::Pick(const texts::Bilingual& text) const {
  std::string picked;
  if (LangRussian == 1) picked = text.russian;
  if (LangEnglish == 1) picked = text.english;
  return picked;
}

Language TForm1::CurrentLanguage() const {
  Language language = Language::English;
  if (LangRussian == 1) language = Language::Russian;
  if (LangEnglish == 1) language = Language::English;
  return language;
}

namespace {

bool ShowsPlaceholder(const std::string& text, const texts::Bilingual& placeholder) {
  return text == placeholder.russian || text == placeholder.english;
}

}  // namespace

bool TForm1::OriginalFileChosen() const {
  return !ShowsPlaceholder(Text(ControlId::Edit1), texts::kOriginalPlaceholder);
}

bool TForm1::PatchFileChosen() const {
  return !ShowsPlaceholder(Text(ControlId::Edit2), texts::kPatchPlaceholder);
}

void TForm1::SetStatus(std::string_view text) {
  SetText(ControlId::StaticText1, text);
}

void TForm1::ReportError(const std::string& text) {
  services_.ShowError(ErrorBoxText(text));
}

void TForm1::LockLanguage() {
  languageLocked_ = true;
  SetEnabled(ControlId::SpeedButton1, false);
  SetEnabled(ControlId::SpeedButton2, false);
}

void TForm1::BitBtn1Click() {
  if (LangRussian == 1) services_.ShowMessage(std::string(texts::kAbout.russian));
  if (LangEnglish == 1) services_.ShowMessage(std::string(texts::kAbout.english));
}

}  // namespace vips::form
