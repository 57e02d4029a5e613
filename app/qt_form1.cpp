// The Qt window: its controls built from the layout table, and the view
// operations that the window's logic calls.
#include "app/qt_form1.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QToolButton>
#include <QTranslator>
#include <algorithm>
#include <initializer_list>

#include "app/platform/window_style.hpp"
#include "app/qt_text.hpp"
#include "app/qt_window_services.hpp"
#include "form/layout.hpp"

// The pictures are compiled into the window's library; a static library's
// resources are registered by hand.
static void RegisterPictures() {
  Q_INIT_RESOURCE(resources);
}

namespace vips::app {
namespace {

namespace layout = form::layout;
using form::ControlId;

// The face every control uses. Where it is missing, a face of similar width
// stands in, else the platform's sans serif, at the same pixel size: the
// captions were fitted to the narrow face, and geometry never follows the font.
QFont WindowFont() {
  QFont font(ToQString(layout::kFontFace));
  font.setFamilies({ToQString(layout::kFontFace), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arimo"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans Condensed")});
  font.setPixelSize(layout::kFontPixelSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

// The file name fields keep the caret at the end instead of selecting their
// text when the focus arrives by Tab.
class FileNameField : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    deselect();
  }
};

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

QIcon PictureWithDisabled(const QString& normal, const QString& disabled) {
  QIcon icon;
  icon.addPixmap(QPixmap(normal), QIcon::Normal);
  icon.addPixmap(QPixmap(disabled), QIcon::Disabled);
  return icon;
}

// The check mark is one strip: the normal image, then the disabled one.
QIcon PictureFromStrip(const QString& strip, int imageSize) {
  const QPixmap both(strip);
  QIcon icon;
  icon.addPixmap(both.copy(0, 0, imageSize, imageSize), QIcon::Normal);
  icon.addPixmap(both.copy(imageSize, 0, imageSize, imageSize), QIcon::Disabled);
  return icon;
}

// A flag with the greyed image that its button shows while disabled: the
// picture in grey tones, lightened, so that its bands and frame still show.
QIcon FlagPicture(const QString& picture) {
  const QPixmap normal(picture);
  QImage grey = normal.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      const int tone = 96 + qGray(line[x]) * 5 / 8;
      line[x] = qRgba(tone, tone, tone, qAlpha(line[x]));
    }
  }
  QIcon icon;
  icon.addPixmap(normal, QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(grey), QIcon::Disabled);
  return icon;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64})
    icon.addFile(QStringLiteral(":/icons/velmorant-ips-%1.png").arg(size), QSize(size, size));
  return icon;
}

// Check boxes with the designed face's small box and narrow gap: the toolkit's
// own leave too little of CheckBox1's 201 pixels for its English caption.
class CheckBoxStyle : public QProxyStyle {
 public:
  // Over a fresh instance of the application's style, whichever it is.
  CheckBoxStyle() : QProxyStyle(QApplication::style()->name()) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) return 13;
    if (metric == PM_CheckBoxLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

QColor ToQColor(form::Rgb colour) {
  return {colour.red, colour.green, colour.blue};
}

QIcon PictureOf(layout::Picture picture) {
  switch (picture) {
    case layout::Picture::FlagUk:
      return FlagPicture(QStringLiteral(":/pictures/flag-uk.png"));
    case layout::Picture::FlagRu:
      return FlagPicture(QStringLiteral(":/pictures/flag-ru.png"));
    case layout::Picture::CheckMark:
      return PictureFromStrip(QStringLiteral(":/pictures/go.png"), 18);
    case layout::Picture::Retry:
      return PictureWithDisabled(QStringLiteral(":/pictures/retry.png"),
                                 QStringLiteral(":/pictures/retry-disabled.png"));
    case layout::Picture::Help:
      return PictureWithDisabled(QStringLiteral(":/pictures/help.png"),
                                 QStringLiteral(":/pictures/help-disabled.png"));
    case layout::Picture::None:
      break;
  }
  return {};
}

// The cell-drawing handler's canvas: the cell's rectangle on the grid's painter.
class PainterCanvas : public form::CellCanvas {
 public:
  PainterCanvas(QPainter& painter, const QRect& rect) : painter_(painter), rect_(rect) {}
  void SetTextColour(form::Rgb colour) override { painter_.setPen(ToQColor(colour)); }
  void FillCell(form::Rgb colour) override { painter_.fillRect(rect_, ToQColor(colour)); }
  void DrawText(std::string_view text) override {
    painter_.drawText(rect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ToQString(text));
  }

 private:
  QPainter& painter_;
  QRect rect_;
};

}  // namespace

QtForm1::QtForm1(int localeId, std::unique_ptr<form::WindowServices> services, QWidget* parent)
    : QWidget(parent),
      services_(services ? std::move(services) : std::make_unique<QtWindowServices>()),
      logic_(localeId, *this, *this, *services_) {
  RegisterPictures();
  CreateControls();
  ConnectHandlers();
  logic_.FormCreate();
}

QtForm1::~QtForm1() {
  InstallToolkitTranslation(false);
}

void QtForm1::CreateControls() {
  setFont(WindowFont());
  setWindowIcon(ProgramIcon());
  setFixedSize(layout::kClientWidth, layout::kClientHeight);
  move(layout::kStartLeft, layout::kStartTop);

  for (const layout::Control& design : layout::kControls) {
    if (design.kind == layout::Kind::Window) {
      setObjectName(ToQString(design.name));
      widgets_[form::IndexOf(design.id)] = this;
      continue;
    }
    QWidget* const parentWidget = Widget(design.parent);
    QWidget* control = nullptr;
    switch (design.kind) {
      case layout::Kind::Panel: {
        auto* panel = new QFrame(parentWidget);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setLineWidth(1);
        panel->setFocusPolicy(Qt::NoFocus);
        control = panel;
        break;
      }
      case layout::Kind::SpeedButton: {
        auto* button = new QToolButton(parentWidget);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIconSize(QSize(22, 15));
        control = button;
        break;
      }
      case layout::Kind::GroupBox:
        control = new QGroupBox(parentWidget);
        break;
      case layout::Kind::ReadOnlyEdit: {
        auto* field = new FileNameField(parentWidget);
        field->setReadOnly(true);
        control = field;
        break;
      }
      case layout::Kind::Edit:
        control = new QLineEdit(parentWidget);
        // Typed characters and key releases go to the logic's range handlers.
        control->installEventFilter(this);
        break;
      case layout::Kind::Button:
      case layout::Kind::BitBtn: {
        auto* button = new QPushButton(parentWidget);
        // No default button: Enter has no window-wide effect. Enter on the
        // focused button presses it (the window's event filter).
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
        button->setIconSize(QSize(18, 18));
        control = button;
        break;
      }
      case layout::Kind::CheckBox:
        control = new QCheckBox(parentWidget);
        break;
      case layout::Kind::StaticText: {
        auto* status = new QLabel(parentWidget);
        status->setFocusPolicy(Qt::NoFocus);
        status->setTextFormat(Qt::PlainText);
        status->setFont(WindowFont());
        status->setAutoFillBackground(true);
        QPalette palette = status->palette();
        palette.setColor(QPalette::WindowText, ToQColor(layout::kStatusTextColour));
        status->setPalette(palette);
        control = status;
        break;
      }
      case layout::Kind::Label:
        control = new QLabel(parentWidget);
        break;
      case layout::Kind::StringGrid:
        control = new StringGrid(logic_.Table(), parentWidget);
        break;
      case layout::Kind::Window:
        break;
    }
    control->setObjectName(ToQString(design.name));
    control->setGeometry(design.left, design.top, design.width, design.height);
    if (design.cursor == layout::Cursor::Hand) control->setCursor(Qt::PointingHandCursor);
    if (design.cursor == layout::Cursor::Help) control->setCursor(Qt::WhatsThisCursor);
    if (design.cursor == layout::Cursor::Arrow) control->setCursor(Qt::ArrowCursor);
    if (design.picture != layout::Picture::None) {
      if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setIcon(PictureOf(design.picture));
    }
    widgets_[form::IndexOf(design.id)] = control;
  }

  const auto as = [this]<typename Control>(Control*& member, ControlId id) {
    member = static_cast<Control*>(Widget(id));
  };
  as(Panel1, ControlId::Panel1);
  as(SpeedButton1, ControlId::SpeedButton1);
  as(SpeedButton2, ControlId::SpeedButton2);
  as(GroupBox1, ControlId::GroupBox1);
  as(GroupBox2, ControlId::GroupBox2);
  as(GroupBox3, ControlId::GroupBox3);
  as(GroupBox4, ControlId::GroupBox4);
  as(Edit1, ControlId::Edit1);
  as(Edit2, ControlId::Edit2);
  as(Edit3, ControlId::Edit3);
  as(Edit4, ControlId::Edit4);
  as(Edit5, ControlId::Edit5);
  as(Edit6, ControlId::Edit6);
  as(Edit7, ControlId::Edit7);
  as(Edit8, ControlId::Edit8);
  as(Button1, ControlId::Button1);
  as(Button2, ControlId::Button2);
  as(Button3, ControlId::Button3);
  as(Button4, ControlId::Button4);
  as(Button5, ControlId::Button5);
  as(Button6, ControlId::Button6);
  as(Button7, ControlId::Button7);
  as(Button8, ControlId::Button8);
  as(Button9, ControlId::Button9);
  as(Button10, ControlId::Button10);
  as(BitBtn1, ControlId::BitBtn1);
  as(BitBtn2, ControlId::BitBtn2);
  as(BitBtn3, ControlId::BitBtn3);
  as(CheckBox1, ControlId::CheckBox1);
  as(CheckBox2, ControlId::CheckBox2);
  as(StaticText1, ControlId::StaticText1);
  as(Label1, ControlId::Label1);
  as(Label2, ControlId::Label2);
  as(Label3, ControlId::Label3);
  as(Label4, ControlId::Label4);
  as(Label5, ControlId::Label5);
  as(Label6, ControlId::Label6);
  as(StringGrid1, ControlId::StringGrid1);

  // Created after the check boxes, so that it is deleted after them too.
  auto* checkBoxStyle = new CheckBoxStyle;
  checkBoxStyle->setParent(this);
  CheckBox1->setStyle(checkBoxStyle);
  CheckBox2->setStyle(checkBoxStyle);

  // Every control shows the logic's state: the design's texts and checks.
  for (const layout::Control& design : layout::kControls) {
    SetText(design.id, logic_.Text(design.id));
    if (design.kind == layout::Kind::CheckBox) SetChecked(design.id, logic_.Checked(design.id));
  }

  // A local file dropped on a file group or on the table is taken as the
  // file of that kind; Space in the table toggles.
  for (const layout::Control& design : layout::kControls) {
    if (!form::TForm1::FileDropTarget(design.id)) continue;
    QWidget* target =
        design.id == ControlId::StringGrid1 ? StringGrid1->viewport() : Widget(design.id);
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }
  StringGrid1->installEventFilter(this);

  // The panel lies beneath every other control.
  Panel1->lower();
  QWidget* previous = nullptr;
  for (const ControlId id : layout::kFocusOrder) {
    if (previous != nullptr) QWidget::setTabOrder(previous, Widget(id));
    previous = Widget(id);
  }
}

void QtForm1::ConnectHandlers() {
  // Every button's click goes to the logic, which knows its handler.
  for (const layout::Control& design : layout::kControls) {
    if (design.kind == layout::Kind::CheckBox) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(Widget(design.id))) {
      connect(button, &QAbstractButton::clicked, this,
              [this, id = design.id] { logic_.Click(id); });
    }
  }
  // What the user changes in the fields and check boxes, the logic holds.
  for (const layout::Control& design : layout::kControls) {
    const ControlId id = design.id;
    if (auto* field = qobject_cast<QLineEdit*>(Widget(id))) {
      connect(field, &QLineEdit::textChanged, this,
              [this, id](const QString& text) { logic_.TextEdited(id, text.toStdString()); });
    }
    if (auto* box = qobject_cast<QCheckBox*>(Widget(id))) {
      connect(box, &QCheckBox::toggled, this,
              [this, id](bool checked) { logic_.CheckBoxToggled(id, checked); });
    }
  }
  connect(StringGrid1, &StringGrid::DoubleClicked, this, [this] { logic_.StringGrid1DblClick(); });
  StringGrid1->SetDrawCellHandler(
      [this](QPainter& painter, int column, int row, const QRect& rect, GridDrawState state) {
        PainterCanvas canvas(painter, rect);
        logic_.StringGrid1DrawCell(canvas, column, row, state);
      });
}

std::optional<ControlId> QtForm1::ControlOf(const QObject* watched) const {
  if (StringGrid1 != nullptr && watched == StringGrid1->viewport()) return ControlId::StringGrid1;
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i] == watched) return static_cast<ControlId>(i);
  }
  return std::nullopt;
}

void QtForm1::SetText(ControlId id, std::string_view text) {
  const QString shown = ToQString(text);
  const layout::Control& design = layout::Of(id);
  QWidget* const control = Widget(id);
  switch (design.kind) {
    case layout::Kind::Window:
      setWindowTitle(shown);
      break;
    case layout::Kind::GroupBox:
      static_cast<QGroupBox*>(control)->setTitle(shown);
      break;
    case layout::Kind::Label: {
      // Labels size themselves to their caption, never below their designed
      // width. The designed widths fit the designed face; "from" needs two
      // pixels more in the faces with Arial's metrics.
      auto* label = static_cast<QLabel*>(control);
      label->setText(shown);
      label->resize(std::max(design.width, label->sizeHint().width()), label->height());
      break;
    }
    case layout::Kind::StaticText: {
      // The status line sizes itself to its text; its height is fixed.
      auto* status = static_cast<QLabel*>(control);
      status->setText(shown);
      status->resize(status->sizeHint().width(), status->height());
      break;
    }
    case layout::Kind::Edit:
    case layout::Kind::ReadOnlyEdit:
      static_cast<QLineEdit*>(control)->setText(shown);
      break;
    case layout::Kind::Button:
    case layout::Kind::BitBtn:
    case layout::Kind::CheckBox:
    case layout::Kind::SpeedButton:
      static_cast<QAbstractButton*>(control)->setText(shown);
      break;
    case layout::Kind::Panel:
    case layout::Kind::StringGrid:
      break;
  }
}

void QtForm1::SetEnabled(ControlId id, bool enabled) {
  Widget(id)->setEnabled(enabled);
}

void QtForm1::SetChecked(ControlId id, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(Widget(id))) box->setChecked(checked);
}

void QtForm1::SetTint(ControlId id, form::Rgb colour) {
  QWidget* const field = Widget(id);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, ToQColor(colour));
  field->setPalette(palette);
}

void QtForm1::SetFocus(ControlId id) {
  Widget(id)->setFocus(Qt::OtherFocusReason);
}

void QtForm1::RemoveMinimizeMaximizeBoxes() {
  app::RemoveMinimizeMaximizeBoxes(*this);
  // Window flags re-create the window's place; it stays where it was designed.
  move(layout::kStartLeft, layout::kStartTop);
}

void QtForm1::LanguageChanged(Language language) {
  InstallToolkitTranslation(language == Language::Russian);
}

int QtForm1::Col() const {
  return StringGrid1->Col();
}
int QtForm1::Row() const {
  return StringGrid1->Row();
}
void QtForm1::SetCurrentCell(int column, int row) {
  StringGrid1->SetCurrentCell(column, row);
}
int QtForm1::TopRow() const {
  return StringGrid1->TopRow();
}
void QtForm1::PageDown() {
  StringGrid1->PageDown();
}
void QtForm1::PageUp() {
  StringGrid1->PageUp();
}
void QtForm1::BeginTableChange() {
  StringGrid1->BeginTableChange();
}
void QtForm1::EndTableChange() {
  StringGrid1->EndTableChange();
}
void QtForm1::RowsChanged(int firstRow, int lastRow) {
  StringGrid1->RowsChanged(firstRow, lastRow);
}
void QtForm1::RepaintNow() {
  StringGrid1->RepaintNow();
}

void QtForm1::InstallToolkitTranslation(bool russian) {
  if (russian && !toolkitTranslation_) {
    toolkitTranslation_ = std::make_unique<QTranslator>();
    // Without the translation package Qt's own texts simply stay English.
    if (!toolkitTranslation_->load(QStringLiteral("qtbase_ru"),
                                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      toolkitTranslation_.reset();
    }
  }
  if (russian == toolkitTranslationInstalled_ || !toolkitTranslation_) return;
  if (russian) {
    toolkitTranslationInstalled_ = QCoreApplication::installTranslator(toolkitTranslation_.get());
  } else {
    QCoreApplication::removeTranslator(toolkitTranslation_.get());
    toolkitTranslationInstalled_ = false;
  }
}

bool QtForm1::ToolkitTranslationInstalled() const {
  return toolkitTranslationInstalled_;
}

}  // namespace vips::app
