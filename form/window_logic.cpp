// The window's logic itself: its state, start-up, the interface language,
// About, and the services every handler uses (status line, error box,
// language lock).
#include "form/window_logic.hpp"

#include "form/error_box_text.hpp"
#include "form/layout.hpp"

namespace vips::form {
namespace {

constexpr int kRussianLocaleId = 1049;  // Russian, Russia, default sort order

}  // namespace

WindowLogic::WindowLogic(int localeId, ControlsView& controls, GridView& grid,
                         WindowServices& services)
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

const std::string& WindowLogic::Text(ControlId id) const {
  return texts_[IndexOf(id)];
}

bool WindowLogic::Enabled(ControlId id) const {
  return enabled_[IndexOf(id)];
}

bool WindowLogic::Checked(ControlId id) const {
  return checked_[IndexOf(id)];
}

bool WindowLogic::Click(ControlId id) {
  static constexpr std::pair<ControlId, void (WindowLogic::*)()> kClicks[] = {
      {ControlId::EnglishButton, &WindowLogic::SwitchToEnglish},
      {ControlId::RussianButton, &WindowLogic::SwitchToRussian},
      {ControlId::ChooseOriginal, &WindowLogic::ChooseOriginalFile},
      {ControlId::ChoosePatch, &WindowLogic::ChoosePatchFile},
      {ControlId::ExecuteAll, &WindowLogic::ExecuteAll},
      {ControlId::CancelAll, &WindowLogic::CancelAll},
      {ControlId::InvertAll, &WindowLogic::InvertAll},
      {ControlId::PageDown, &WindowLogic::PageDown},
      {ControlId::PageUp, &WindowLogic::PageUp},
      {ControlId::ExecuteRange, &WindowLogic::ExecuteRange},
      {ControlId::CancelRange, &WindowLogic::CancelRange},
      {ControlId::InvertRange, &WindowLogic::InvertRange},
      {ControlId::About, &WindowLogic::ShowAbout},
      {ControlId::Go, &WindowLogic::Go},
      {ControlId::Recover, &WindowLogic::Recover},
  };
  for (const auto& [button, handler] : kClicks) {
    if (button == id) {
      (this->*handler)();
      return true;
    }
  }
  return false;
}

void WindowLogic::TextEdited(ControlId id, std::string_view text) {
  texts_[IndexOf(id)] = text;
}

void WindowLogic::CheckBoxToggled(ControlId id, bool checked) {
  checked_[IndexOf(id)] = checked;
}

void WindowLogic::SetText(ControlId id, std::string_view text) {
  texts_[IndexOf(id)] = text;
  controls_.SetText(id, text);
}

void WindowLogic::SetEnabled(ControlId id, bool enabled) {
  enabled_[IndexOf(id)] = enabled;
  controls_.SetEnabled(id, enabled);
}

void WindowLogic::SetChecked(ControlId id, bool checked) {
  checked_[IndexOf(id)] = checked;
  controls_.SetChecked(id, checked);
}

void WindowLogic::Start() {
  language_ = Language::English;
  BackupTaken = 0;
  SetEnabled(ControlId::Recover, false);
  // Only Russian (Russia) selects Russian; every other locale, other
  // Russian-speaking ones included, starts in English.
  if (localeId_ != kRussianLocaleId) ApplyLanguage(Language::English, true);
  if (localeId_ == kRussianLocaleId) ApplyLanguage(Language::Russian, true);
  controls_.RemoveMinimizeMaximizeBoxes();
  for (const layout::Tint& tint : layout::kTints) controls_.SetTint(tint.id, tint.colour);
}

void WindowLogic::ApplyLanguage(Language language, bool atStart) {
  const bool russian = language == Language::Russian;
  language_ = language;
  controls_.LanguageChanged(language);

  // A field that shows the other language's placeholder shows no file yet;
  // a file's name stays as it is.
  const auto translatePlaceholder = [&](ControlId field, const texts::Bilingual& placeholder) {
    const std::string_view other = russian ? placeholder.english : placeholder.russian;
    if (Text(field) == other) SetText(field, Pick(placeholder));
  };
  translatePlaceholder(ControlId::OriginalField, texts::kOriginalPlaceholder);
  translatePlaceholder(ControlId::PatchField, texts::kPatchPlaceholder);

  // The caption table; the window's title has a start-up form.
  using layout::Kind;
  SetText(ControlId::Window,
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
  SetEnabled(ControlId::EnglishButton, !languageLocked_ && russian);
  SetEnabled(ControlId::RussianButton, !languageLocked_ && !russian);

  SetStatus(Pick(texts::kNeutralStatus));
}

void WindowLogic::SwitchToEnglish() {
  ApplyLanguage(Language::English, false);
}

void WindowLogic::SwitchToRussian() {
  ApplyLanguage(Language::Russian, false);
}

std::string WindowLogic::Pick(const texts::Bilingual& text) const {
  return std::string(language_ == Language::Russian ? text.russian : text.english);
}

namespace {

bool ShowsPlaceholder(const std::string& text, const texts::Bilingual& placeholder) {
  return text == placeholder.russian || text == placeholder.english;
}

}  // namespace

bool WindowLogic::OriginalFileChosen() const {
  return !ShowsPlaceholder(Text(ControlId::OriginalField), texts::kOriginalPlaceholder);
}

bool WindowLogic::PatchFileChosen() const {
  return !ShowsPlaceholder(Text(ControlId::PatchField), texts::kPatchPlaceholder);
}

void WindowLogic::SetStatus(std::string_view text) {
  SetText(ControlId::Status, text);
}

void WindowLogic::ReportError(const std::string& text) {
  services_.ShowError(ErrorBoxText(text));
}

void WindowLogic::LockLanguage() {
  languageLocked_ = true;
  SetEnabled(ControlId::EnglishButton, false);
  SetEnabled(ControlId::RussianButton, false);
}

void WindowLogic::ShowAbout() {
  services_.ShowMessage(Pick(texts::kAbout));
}

}  // namespace vips::form
