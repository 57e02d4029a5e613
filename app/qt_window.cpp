// The Qt window: its controls built from the layout table, and the view
// operations that the window's logic calls.
#include "app/qt_window.hpp"

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
// own leave too little of the backup check box's 201 pixels for its English
// caption.
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

QtWindow::QtWindow(int localeId, std::unique_ptr<form::WindowServices> services, QWidget* parent)
    : QWidget(parent),
      services_(services ? std::move(services) : std::make_unique<QtWindowServices>()),
      logic_(localeId, *this, *this, *services_) {
  RegisterPictures();
  CreateControls();
  ConnectHandlers();
  logic_.Start();
}

QtWindow::~QtWindow() {
  InstallToolkitTranslation(false);
}

void QtWindow::CreateControls() {
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

  // Created after the check boxes, so that it is deleted after them too.
  auto* checkBoxStyle = new CheckBoxStyle;
  checkBoxStyle->setParent(this);
  Widget<QCheckBox>(ControlId::BackupCheck)->setStyle(checkBoxStyle);
  Widget<QCheckBox>(ControlId::MessagesCheck)->setStyle(checkBoxStyle);

  // Every control shows the logic's state: the design's texts and checks.
  for (const layout::Control& design : layout::kControls) {
    SetText(design.id, logic_.Text(design.id));
    if (design.kind == layout::Kind::CheckBox) SetChecked(design.id, logic_.Checked(design.id));
  }

  // A local file dropped on a file group or on the table is taken as the
  // file of that kind; Space in the table toggles.
  for (const layout::Control& design : layout::kControls) {
    if (!form::WindowLogic::FileDropTarget(design.id)) continue;
    QWidget* target = design.id == ControlId::Grid ? TableGrid()->viewport() : Widget(design.id);
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }
  TableGrid()->installEventFilter(this);

  // The panel lies beneath every other control.
  Widget<QFrame>(ControlId::Panel)->lower();
  QWidget* previous = nullptr;
  for (const ControlId id : layout::kFocusOrder) {
    if (previous != nullptr) QWidget::setTabOrder(previous, Widget(id));
    previous = Widget(id);
  }
}

void QtWindow::ConnectHandlers() {
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
  connect(TableGrid(), &StringGrid::DoubleClicked, this, [this] { logic_.ToggleCurrentMarker(); });
  TableGrid()->SetDrawCellHandler(
      [this](QPainter& painter, int column, int row, const QRect& rect, GridDrawState state) {
        PainterCanvas canvas(painter, rect);
        logic_.DrawCell(canvas, column, row, state);
      });
}

std::optional<ControlId> QtWindow::ControlOf(const QObject* watched) const {
  if (TableGrid() != nullptr && watched == TableGrid()->viewport()) return ControlId::Grid;
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i] == watched) return static_cast<ControlId>(i);
  }
  return std::nullopt;
}

void QtWindow::SetText(ControlId id, std::string_view text) {
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
    case layout::Kind::Label:
    case layout::Kind::StaticText: {
      // Labels and the status line size themselves to their text; their
      // height is fixed. The designed widths fit the designed face; "from"
      // needs two pixels more in the faces with Arial's metrics.
      auto* label = static_cast<QLabel*>(control);
      label->setText(shown);
      label->resize(layout::FittedWidth(design.kind, design.width, label->sizeHint().width()),
                    label->height());
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

void QtWindow::SetEnabled(ControlId id, bool enabled) {
  Widget(id)->setEnabled(enabled);
}

void QtWindow::SetChecked(ControlId id, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(Widget(id))) box->setChecked(checked);
}

void QtWindow::SetTint(ControlId id, form::Rgb colour) {
  QWidget* const field = Widget(id);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, ToQColor(colour));
  field->setPalette(palette);
}

void QtWindow::SetFocus(ControlId id) {
  Widget(id)->setFocus(Qt::OtherFocusReason);
}

void QtWindow::RemoveMinimizeMaximizeBoxes() {
  app::RemoveMinimizeMaximizeBoxes(*this);
  // Window flags re-create the window's place; it stays where it was designed.
  move(layout::kStartLeft, layout::kStartTop);
}

void QtWindow::LanguageChanged(Language language) {
  InstallToolkitTranslation(language == Language::Russian);
}

int QtWindow::Col() const {
  return TableGrid()->Col();
}
int QtWindow::Row() const {
  return TableGrid()->Row();
}
void QtWindow::SetCurrentCell(int column, int row) {
  TableGrid()->SetCurrentCell(column, row);
}
int QtWindow::TopRow() const {
  return TableGrid()->TopRow();
}
void QtWindow::PageDown() {
  TableGrid()->PageDown();
}
void QtWindow::PageUp() {
  TableGrid()->PageUp();
}
void QtWindow::BeginTableChange() {
  TableGrid()->BeginTableChange();
}
void QtWindow::EndTableChange() {
  TableGrid()->EndTableChange();
}
void QtWindow::RowsChanged(int firstRow, int lastRow) {
  TableGrid()->RowsChanged(firstRow, lastRow);
}
void QtWindow::RepaintNow() {
  TableGrid()->RepaintNow();
}

void QtWindow::InstallToolkitTranslation(bool russian) {
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

}  // namespace vips::app
