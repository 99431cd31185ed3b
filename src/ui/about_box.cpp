#include "ui/about_box.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/busy_cursor.h"
#include "ui/control_naming.h"
#include "ui/help_opener.h"
#include "ui/logic/about_box.h"
#include "ui/program_icon.h"
#include "ui/splash_picture.h"

namespace kip {
namespace {

constexpr int kIconSize = 65;

QLabel* label(QWidget* parent, const char* name, const QString& caption = {}) {
  auto* widget = new QLabel(caption, parent);
  nameControl(widget, name, caption);
  return widget;
}

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TAboutBox::TAboutBox(AboutBoxServices services, QWidget* parent, TExeVersion version)
    : QDialog(parent), m_services(std::move(services)), ExeVersion1(std::move(version)) {
  if (!m_services.openAddress) m_services.openAddress = [](const QString& address) { openWithOpener(address); };
  setWindowTitle(QStringLiteral("About Kip Launch Manager"));
  setWindowIcon(programIcon());
  nameControl(this, "AboutBox", windowTitle());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto& c = m_controls;
  c.ProgramIcon = label(this, "ProgramIcon", QStringLiteral("Kip Launch Manager picture"));
  c.ProgramIcon->setPixmap(QPixmap::fromImage(
      splashPicture().scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
  c.ProgramIcon->setFixedSize(kIconSize, kIconSize);
  c.ProductName = label(this, "ProductName");
  QFont bold = c.ProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  c.ProductName->setFont(bold);
  c.Version = label(this, "Version");
  c.Copyright = label(this, "Copyright");
  c.HomePage = label(this, "HomePage", QString::fromLatin1(kHomePage));
  c.HomePage->setText(QStringLiteral("<a href=\"%1\" style=\"color:blue\">%1</a>").arg(QString::fromLatin1(kHomePage)));
  c.HomePage->setToolTip(QStringLiteral("Display Home Page"));
  c.HomePage->setCursor(Qt::PointingHandCursor);
  c.HomePage->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  c.HomePage->setFocusPolicy(Qt::StrongFocus);
  // Every way of following the link goes through the home page handler, never Qt's own opener.
  c.HomePage->setOpenExternalLinks(false);
  connect(c.HomePage, &QLabel::linkActivated, this, [this] { HomePageClick(); });
  // Return and Space on the focused link follow it, rather than reaching the dialog's default button.
  c.HomePage->installEventFilter(this);

  auto* facts = new QGridLayout;
  const std::pair<const char*, const char*> captions[] = {
      {"Label1", "Power:"}, {"Label2", "Configuration:"}, {"Label7", "Logon User:"}, {"Label3", "Network:"}};
  QLabel** values[] = {&c.Power, &c.Configuration, &c.User, &c.Network};
  const char* valueNames[] = {"Power", "Configuration", "User", "Network"};
  for (int row = 0; row < 4; ++row) {
    auto* caption = label(this, captions[row].first, QString::fromLatin1(captions[row].second));
    *values[row] = label(this, valueNames[row]);
    (*values[row])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    facts->addWidget(caption, row, 0);
    // No buddy: a screen reader would take the caption for an empty value's name.
    facts->addWidget(*values[row], row, 1);
  }
  facts->setColumnStretch(1, 1);

  c.OKButton = new QPushButton(QStringLiteral("OK"), this);
  nameControl(c.OKButton, "OKButton", QStringLiteral("OK"));
  c.OKButton->setDefault(true);
  connect(c.OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* heading = new QVBoxLayout;
  heading->addWidget(c.ProductName);
  heading->addWidget(c.Version);
  heading->addWidget(c.Copyright);
  heading->addWidget(c.HomePage);
  heading->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(c.ProgramIcon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(heading, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(c.OKButton);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(10);
  layout->addLayout(facts);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setMinimumWidth(420);
}

void TAboutBox::showModal() {
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  m_controls.OKButton->setFocus();
  exec();
}

void TAboutBox::FormActivate() {
  AboutBoxLines lines;
  {
    const BusyCursor busy;
    lines = aboutBoxLines(versionTextsOf(ExeVersion1), m_services.env, m_services.prefs,
                          m_services.system.powerStatus(), m_services.results, m_services.probe);
  }
  auto& c = m_controls;
  c.ProductName->setText(qs(lines.ProductName));
  c.Version->setText(qs(lines.Version));
  c.Copyright->setText(qs(lines.Copyright));
  c.Power->setText(qs(lines.Power));
  c.Configuration->setText(qs(lines.Configuration));
  c.User->setText(qs(lines.User));
  c.Network->setText(qs(lines.Network));
  // Grow to the new lines at once rather than at the next layout pass.
  layout()->activate();
}

void TAboutBox::HomePageClick() { m_services.openAddress(QString::fromLatin1(kHomePage)); }

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_controls.HomePage && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      HomePageClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool TAboutBox::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

}  // namespace kip
