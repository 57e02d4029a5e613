// The window itself: its controls, start-up, the interface language, About,
// and the services every handler uses (status line, error box, language lock).
#include "app/Patch1.hpp"

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
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QToolButton>
#include <QTranslator>
#include <algorithm>
#include <initializer_list>

#include "app/error_box_text.hpp"
#include "app/platform/window_style.hpp"
#include "app/qt_text.hpp"
#include "app/qt_window_services.hpp"

namespace texts = vips::app::texts;
using vips::app::ToQString;

// The pictures are compiled into the window's library; a static library's
// resources are registered by hand.
static void RegisterPictures() {
  Q_INIT_RESOURCE(resources);
}

namespace {

constexpr int kRussianLocaleId = 1049;  // Russian, Russia, default sort order

constexpr int kClientWidth = 614;
constexpr int kClientHeight = 379;
constexpr QPoint kStartPosition{200, 124};

// The face every control uses. Where it is missing, a face of similar width
// stands in, else the platform's sans serif, at the same pixel size: the
// captions were fitted to the narrow face, and geometry never follows the font.
QFont WindowFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arimo"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans Condensed")});
  font.setPixelSize(11);
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

// Labels size themselves to their caption, never below their designed width.
// The designed widths fit the designed face; "from" needs two pixels more in
// the faces with Arial's metrics.
void SetCaption(QLabel* label, const QString& text, int designedWidth) {
  label->setText(text);
  label->resize(std::max(designedWidth, label->sizeHint().width()), label->height());
}

bool ShowsPlaceholder(const QLineEdit& field, const texts::Bilingual& placeholder) {
  const QString text = field.text();
  return text == ToQString(placeholder.russian) || text == ToQString(placeholder.english);
}

void Tint(QLineEdit* field, const QColor& colour) {
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, colour);
  field->setPalette(palette);
}

}  // namespace

TForm1::TForm1(int localeId, std::unique_ptr<vips::app::WindowServices> services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), localeId_(localeId) {
  if (!services_) services_ = std::make_unique<vips::app::QtWindowServices>();
  RegisterPictures();
  CreateControls();
  FormCreate();
}

TForm1::~TForm1() {
  InstallToolkitTranslation(false);
}

void TForm1::CreateControls() {
  setObjectName(QStringLiteral("Form1"));
  setFont(WindowFont());
  setWindowIcon(ProgramIcon());
  setFixedSize(kClientWidth, kClientHeight);
  move(kStartPosition);

  Panel1 = Place(new QFrame(this), "Panel1", 0, 0, kClientWidth, kClientHeight);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setFocusPolicy(Qt::NoFocus);

  const auto languageButton = [this](const char* name, int left, const QString& picture) {
    auto* button = Place(new QToolButton(Panel1), name, left, 352, 38, 24);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(22, 15));
    button->setIcon(FlagPicture(picture));
    return button;
  };
  SpeedButton1 = languageButton("SpeedButton1", 301, QStringLiteral(":/pictures/flag-uk.png"));
  SpeedButton2 = languageButton("SpeedButton2", 338, QStringLiteral(":/pictures/flag-ru.png"));

  const auto pushButton = [this](QWidget* parent, const char* name, int left, int top, int width,
                                 int height, bool hand) {
    auto* button = Place(new QPushButton(parent), name, left, top, width, height);
    // No default button: Enter has no window-wide effect. Enter on the
    // focused button presses it (the window's event filter).
    button->setAutoDefault(false);
    button->setDefault(false);
    button->installEventFilter(this);
    if (hand) button->setCursor(Qt::PointingHandCursor);
    return button;
  };
  const auto fileField = [](QWidget* parent, const char* name, int top) {
    auto* field = Place(new FileNameField(parent), name, 8, top, 385, 21);
    field->setReadOnly(true);
    field->setCursor(Qt::ArrowCursor);
    return field;
  };

  GroupBox1 = Place(new QGroupBox(this), "GroupBox1", 8, 4, 473, 57);
  Edit1 = fileField(GroupBox1, "Edit1", 20);
  Edit1->setText(ToQString(texts::kOriginalPlaceholder.english));
  Button1 = pushButton(GroupBox1, "Button1", 400, 19, 65, 22, true);

  GroupBox2 = Place(new QGroupBox(this), "GroupBox2", 8, 60, 473, 57);
  Edit2 = fileField(GroupBox2, "Edit2", 19);
  Edit2->setText(ToQString(texts::kPatchPlaceholder.english));
  Button2 = pushButton(GroupBox2, "Button2", 400, 19, 65, 22, true);

  const QSize pictureSize(18, 18);
  BitBtn2 = pushButton(this, "BitBtn2", 381, 125, 100, 25, true);
  BitBtn2->setIcon(PictureFromStrip(QStringLiteral(":/pictures/go.png"), 18));
  BitBtn2->setIconSize(pictureSize);

  GroupBox3 = Place(new QGroupBox(this), "GroupBox3", 8, 120, 369, 233);
  StringGrid1 = Place(new vips::app::StringGrid(table_, GroupBox3), "StringGrid1", 8, 16, 353, 209);

  Button3 = pushButton(this, "Button3", 381, 155, 100, 25, true);
  Button4 = pushButton(this, "Button4", 381, 183, 100, 25, true);
  Button5 = pushButton(this, "Button5", 381, 211, 100, 25, true);
  Button7 = pushButton(this, "Button7", 381, 239, 100, 25, true);
  Button6 = pushButton(this, "Button6", 381, 267, 100, 25, true);

  BitBtn3 = pushButton(this, "BitBtn3", 381, 297, 100, 27, true);
  BitBtn3->setIcon(PictureWithDisabled(QStringLiteral(":/pictures/retry.png"),
                                       QStringLiteral(":/pictures/retry-disabled.png")));
  BitBtn3->setIconSize(pictureSize);

  BitBtn1 = pushButton(this, "BitBtn1", 381, 327, 100, 25, false);
  BitBtn1->setCursor(Qt::WhatsThisCursor);
  BitBtn1->setIcon(PictureWithDisabled(QStringLiteral(":/pictures/help.png"),
                                       QStringLiteral(":/pictures/help-disabled.png")));
  BitBtn1->setIconSize(pictureSize);

  CheckBox1 = Place(new QCheckBox(this), "CheckBox1", 8, 358, 201, 17);
  CheckBox1->setChecked(true);
  CheckBox2 = Place(new QCheckBox(this), "CheckBox2", 212, 358, 81, 17);
  CheckBox2->setChecked(true);
  // Created after the check boxes, so that it is deleted after them too.
  auto* checkBoxStyle = new CheckBoxStyle;
  checkBoxStyle->setParent(this);
  CheckBox1->setStyle(checkBoxStyle);
  CheckBox2->setStyle(checkBoxStyle);

  StaticText1 = Place(new QLabel(this), "StaticText1", 381, 358, 228, 17);
  StaticText1->setFocusPolicy(Qt::NoFocus);
  StaticText1->setTextFormat(Qt::PlainText);
  StaticText1->setFont(WindowFont());
  StaticText1->setAutoFillBackground(true);
  {
    QPalette palette = StaticText1->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 255));
    StaticText1->setPalette(palette);
  }

  GroupBox4 = Place(new QGroupBox(this), "GroupBox4", 487, 4, 121, 349);
  const auto label = [this](const char* name, int top, int width) {
    return Place(new QLabel(GroupBox4), name, 8, top, width, 13);
  };
  const auto rangeField = [this](const char* name, int top) {
    auto* field = Place(new QLineEdit(GroupBox4), name, 32, top, 81, 21);
    field->setText(QStringLiteral("1"));
    // Typed characters and key releases go to the window's range handlers.
    field->installEventFilter(this);
    return field;
  };
  Label1 = label("Label1", 32, 20);
  Edit3 = rangeField("Edit3", 29);
  Label4 = label("Label4", 63, 9);
  Edit4 = rangeField("Edit4", 60);
  Button8 = pushButton(GroupBox4, "Button8", 8, 96, 103, 25, false);
  Label2 = label("Label2", 141, 20);
  Edit5 = rangeField("Edit5", 138);
  Label5 = label("Label5", 171, 9);
  Edit6 = rangeField("Edit6", 168);
  Button9 = pushButton(GroupBox4, "Button9", 11, 204, 100, 25, false);
  Label3 = label("Label3", 253, 20);
  Edit7 = rangeField("Edit7", 250);
  Label6 = label("Label6", 285, 9);
  Edit8 = rangeField("Edit8", 282);
  Button10 = pushButton(GroupBox4, "Button10", 11, 314, 100, 25, false);

  // A local file dropped on a file group (its box, field or button) or on
  // the table is taken as the file of that kind; Space in the table toggles.
  for (QWidget* target :
       {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(Edit1),
        static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(Edit2), StringGrid1->viewport()}) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }
  StringGrid1->installEventFilter(this);

  // The panel lies beneath every other control.
  Panel1->lower();
  SetTabOrder();

  connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
  connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
  connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
  connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
  connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
  connect(StringGrid1, &vips::app::StringGrid::DoubleClicked, this, &TForm1::StringGrid1DblClick);
  StringGrid1->SetDrawCellHandler([this](QPainter& canvas, int column, int row, const QRect& rect,
                                         vips::app::GridDrawState state) {
    StringGrid1DrawCell(canvas, column, row, rect, state);
  });
}

void TForm1::SetTabOrder() {
  // Focus order; "Page Down" comes before "Page Up" although it stands below.
  const std::initializer_list<QWidget*> order{
      Edit1,   Button1, Edit2,   Button2, BitBtn2, BitBtn1,  CheckBox1, StringGrid1,
      Button3, Button4, Button5, Button6, Button7, Edit3,    Edit4,     Button8,
      Edit5,   Edit6,   Button9, Edit7,   Edit8,   Button10, BitBtn3,   CheckBox2};
  QWidget* previous = nullptr;
  for (QWidget* next : order) {
    if (previous != nullptr) QWidget::setTabOrder(previous, next);
    previous = next;
  }
}

void TForm1::FormCreate() {
  LangEnglish = 1;
  LangRussian = 0;
  BackupTaken = 0;
  BitBtn3->setEnabled(false);
  // Only Russian (Russia) selects Russian; every other locale, other
  // Russian-speaking ones included, starts in English.
  if (localeId_ != kRussianLocaleId) ApplyLanguage(vips::Language::English, true);
  if (localeId_ == kRussianLocaleId) ApplyLanguage(vips::Language::Russian, true);
  vips::app::RemoveMinimizeMaximizeBoxes(*this);
  // Window flags re-create the window's place; it stays where it was designed.
  move(kStartPosition);
  Tint(Edit1, QColor(204, 255, 204));
  Tint(Edit2, QColor(204, 255, 204));
  Tint(Edit3, QColor(170, 191, 204));
  Tint(Edit4, QColor(170, 191, 204));
  Tint(Edit5, QColor(204, 191, 204));
  Tint(Edit6, QColor(204, 191, 204));
  Tint(Edit7, QColor(221, 191, 204));
  Tint(Edit8, QColor(221, 191, 204));
}

void TForm1::ApplyLanguage(vips::Language language, bool atStart) {
  const bool russian = language == vips::Language::Russian;
  LangEnglish = russian ? 0 : 1;
  LangRussian = russian ? 1 : 0;
  InstallToolkitTranslation(russian);

  // A field that shows the other language's placeholder shows no file yet;
  // a file's name stays as it is.
  const auto translatePlaceholder = [&](QLineEdit* field, const texts::Bilingual& placeholder) {
    const std::string_view other = russian ? placeholder.english : placeholder.russian;
    if (field->text() == ToQString(other)) field->setText(Pick(placeholder));
  };
  translatePlaceholder(Edit1, texts::kOriginalPlaceholder);
  translatePlaceholder(Edit2, texts::kPatchPlaceholder);

  CheckBox1->setText(Pick(texts::kCheckBox1));
  setWindowTitle(Pick(atStart ? texts::kWindowTitleAtStart : texts::kWindowTitleAfterSwitch));
  BitBtn2->setText(Pick(texts::kBitBtn2));
  BitBtn1->setText(Pick(texts::kBitBtn1));
  BitBtn3->setText(Pick(texts::kBitBtn3));
  Button1->setText(Pick(texts::kSelectButton));
  Button2->setText(Pick(texts::kSelectButton));
  Button3->setText(Pick(texts::kButton3));
  Button4->setText(Pick(texts::kButton4));
  Button5->setText(Pick(texts::kButton5));
  Button6->setText(Pick(texts::kButton6));
  Button7->setText(Pick(texts::kButton7));
  GroupBox1->setTitle(Pick(texts::kGroupBox1));
  GroupBox2->setTitle(Pick(texts::kGroupBox2));
  GroupBox3->setTitle(Pick(texts::kGroupBox3));
  for (QLabel* from : {Label1, Label2, Label3}) SetCaption(from, Pick(texts::kFromLabel), 20);
  for (QLabel* to : {Label4, Label5, Label6}) SetCaption(to, Pick(texts::kToLabel), 9);
  GroupBox4->setTitle(Pick(texts::kGroupBox4));
  Button8->setText(Pick(texts::kButton8));
  Button9->setText(Pick(texts::kButton9));
  Button10->setText(Pick(texts::kButton10));

  // The button of the current language is the disabled one; once a patch
  // file has been confirmed both stay disabled.
  SpeedButton1->setEnabled(!languageLocked_ && russian);
  SpeedButton2->setEnabled(!languageLocked_ && !russian);

  SetStatus(Pick(texts::kNeutralStatus));
  CheckBox2->setText(Pick(texts::kCheckBox2));
}

void TForm1::SpeedButton1Click() {
  ApplyLanguage(vips::Language::English, false);
}

void TForm1::SpeedButton2Click() {
  ApplyLanguage(vips::Language::Russian, false);
}

QString TForm1::Pick(const texts::Bilingual& text) const {
  return ToQString(PickUtf8(text));
}

std::string TForm1::PickUtf8(const texts::Bilingual& text) const {
  std::string picked;
  if (LangRussian == 1) picked = text.russian;
  if (LangEnglish == 1) picked = text.english;
  return picked;
}

vips::Language TForm1::CurrentLanguage() const {
  vips::Language language = vips::Language::English;
  if (LangRussian == 1) language = vips::Language::Russian;
  if (LangEnglish == 1) language = vips::Language::English;
  return language;
}

bool TForm1::OriginalFileChosen() const {
  return !ShowsPlaceholder(*Edit1, texts::kOriginalPlaceholder);
}

bool TForm1::PatchFileChosen() const {
  return !ShowsPlaceholder(*Edit2, texts::kPatchPlaceholder);
}

void TForm1::SetStatus(const QString& text) {
  StaticText1->setText(text);
  // The status line sizes itself to its text; its height is fixed.
  StaticText1->resize(StaticText1->sizeHint().width(), StaticText1->height());
}

void TForm1::ReportError(const std::string& text) {
  Services().ShowError(vips::app::ErrorBoxText(text));
}

void TForm1::InstallToolkitTranslation(bool russian) {
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

bool TForm1::ToolkitTranslationInstalled() const {
  return toolkitTranslationInstalled_;
}

void TForm1::LockLanguage() {
  languageLocked_ = true;
  SpeedButton1->setEnabled(false);
  SpeedButton2->setEnabled(false);
}

void TForm1::BitBtn1Click() {
  if (LangRussian == 1) Services().ShowMessage(std::string(texts::kAbout.russian));
  if (LangEnglish == 1) Services().ShowMessage(std::string(texts::kAbout.english));
}
