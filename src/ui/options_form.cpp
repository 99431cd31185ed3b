#include "ui/options_form.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWhatsThis>

#include "ui/busy_cursor.h"
#include "ui/control_naming.h"
#include "ui/help_opener.h"
#include "ui/logic/help_topics.h"
#include "ui/logic/options_form.h"
#include "ui/program_icon.h"

namespace kip {
namespace {

namespace topic = help_topic;

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

template <typename Widget>
Widget* control(QWidget* parent, const char* name, const QString& caption, int helpTopic = 0) {
  auto* widget = new Widget(caption, parent);
  nameControl(widget, name, caption, helpTopic);
  return widget;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& accessibleName, int helpTopic) {
  auto* widget = new QLineEdit(parent);
  nameControl(widget, name, accessibleName, helpTopic);
  return widget;
}

}  // namespace

TOptionsForm::TOptionsForm(OptionsFormServices services, QWidget* parent) : QDialog(parent), m_services(services) {
  build();
}

void TOptionsForm::build() {
  setWindowTitle(QStringLiteral("Advanced Options"));
  setWindowIcon(programIcon());
  nameControl(this, "OptionsForm", windowTitle(), topic::kOptions);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
  auto& c = m_controls;

  c.GB_start = control<QGroupBox>(this, "GB_start", QStringLiteral(" Start Up "), topic::kStartUpDelay);
  c.Label15 = control<QLabel>(c.GB_start, "Label15", QStringLiteral("Seconds delay before execution starts:"));
  c.DelayCount =
      edit(c.GB_start, "DelayCount", QStringLiteral("Seconds delay before execution starts"), topic::kStartUpDelay);
  c.DelayCount->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
  c.DelayCount->setFixedWidth(c.DelayCount->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
  c.Label15->setBuddy(c.DelayCount);
  c.LogonRunText = control<QLabel>(c.GB_start, "LogonRunText", QString());
  c.LogonRunText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* delayLayout = new QHBoxLayout;
  delayLayout->addWidget(c.Label15);
  delayLayout->addWidget(c.DelayCount);
  delayLayout->addStretch();
  auto* startLayout = new QVBoxLayout(c.GB_start);
  startLayout->addLayout(delayLayout);
  startLayout->addWidget(c.LogonRunText);

  c.GB_display = control<QGroupBox>(this, "GB_display", QStringLiteral(" Display Settings "), topic::kDisplaySettings);
  c.CB_splash = control<QCheckBox>(c.GB_display, "CB_splash", QStringLiteral("Splash Screen"), topic::kDisplaySettings);
  c.CB_global = control<QCheckBox>(c.GB_display, "CB_global", QStringLiteral("Global Entries"), topic::kGlobalEntries);
  c.CB_netState =
      control<QCheckBox>(c.GB_display, "CB_netState", QStringLiteral("Network State"), topic::kNetworkState);
  auto* displayLayout = new QHBoxLayout(c.GB_display);
  for (QCheckBox* box : {c.CB_splash, c.CB_global, c.CB_netState}) displayLayout->addWidget(box);
  displayLayout->addStretch();

  c.RG_netTest = control<QGroupBox>(this, "RG_netTest", QStringLiteral(" Network Test "), topic::kNetworkTest);
  m_netGroup = new QButtonGroup(this);
  auto* netLayout = new QVBoxLayout(c.RG_netTest);
  const char* items[] = {"MS Logon", "Dial up Networking", "Resource Test"};
  for (int i = 0; i < 3; ++i) {
    c.RG_netTestItems[i] = new QRadioButton(QString::fromLatin1(items[i]), c.RG_netTest);
    c.RG_netTestItems[i]->setAccessibleName(QString::fromLatin1(items[i]));
    c.RG_netTestItems[i]->setAccessibleDescription(QStringLiteral("RG_netTest"));
    m_netGroup->addButton(c.RG_netTestItems[i], i);
    netLayout->addWidget(c.RG_netTestItems[i]);
  }
  c.NetTest = edit(c.RG_netTest, "NetTest", QStringLiteral("Resource to test"), topic::kNetTest);
  netLayout->addWidget(c.NetTest);
  connect(m_netGroup, &QButtonGroup::idClicked, this, [this](int id) {
    if (m_state.RG_netTest.ItemIndex == id) return;
    m_state.RG_netTest.ItemIndex = id;
    RG_netClick(m_state);
    pushEnabling();
  });

  c.TestButton = control<QPushButton>(this, "TestButton", QStringLiteral("Test now..."), topic::kTestButton);
  c.TestButton->setAutoDefault(false);
  connect(c.TestButton, &QPushButton::clicked, this, &TOptionsForm::TestButtonClick);

  c.GroupBox1 =
      control<QGroupBox>(this, "GroupBox1", QStringLiteral(" Internet Connection "), topic::kInternetConnection);
  c.CB_proxy = control<QCheckBox>(c.GroupBox1, "CB_proxy", QStringLiteral("Use proxy to test http://.."),
                                  topic::kDisplaySettings);
  c.Label1 = control<QLabel>(c.GroupBox1, "Label1", QStringLiteral("Proxy Server:"));
  c.ProxyAddr = edit(c.GroupBox1, "ProxyAddr", QStringLiteral("Proxy Server"), topic::kStartUpDelay);
  c.Label2 = control<QLabel>(c.GroupBox1, "Label2", QStringLiteral("Proxy Port:"));
  c.ProxyPort = edit(c.GroupBox1, "ProxyPort", QStringLiteral("Proxy Port"), topic::kStartUpDelay);
  c.ProxyPort->setFixedWidth(c.ProxyPort->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
  c.Label1->setBuddy(c.ProxyAddr);
  c.Label2->setBuddy(c.ProxyPort);
  auto* proxyLayout = new QGridLayout(c.GroupBox1);
  proxyLayout->addWidget(c.CB_proxy, 0, 0, 1, 4);
  proxyLayout->addWidget(c.Label1, 1, 0);
  proxyLayout->addWidget(c.ProxyAddr, 1, 1);
  proxyLayout->addWidget(c.Label2, 1, 2);
  proxyLayout->addWidget(c.ProxyPort, 1, 3);
  proxyLayout->setColumnStretch(1, 1);
  connect(c.CB_proxy, &QCheckBox::toggled, this, [this](bool ticked) {
    m_state.CB_proxy.Checked = ticked;
    CB_proxyClick(m_state);
    pushEnabling();
  });

  c.OkButton = control<QPushButton>(this, "OkButton", QStringLiteral("Ok"), topic::kOkButton);
  c.OkButton->setDefault(true);
  connect(c.OkButton, &QPushButton::clicked, this, &TOptionsForm::OkButtonClick);
  c.CancelButton = control<QPushButton>(this, "CancelButton", QStringLiteral("Cancel"), topic::kCancelButton);
  c.CancelButton->setAutoDefault(false);
  connect(c.CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* middle = new QHBoxLayout;
  middle->addWidget(c.RG_netTest, 1);
  auto* testColumn = new QVBoxLayout;
  testColumn->addStretch();
  testColumn->addWidget(c.TestButton);
  middle->addLayout(testColumn);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(c.OkButton);
  buttons->addWidget(c.CancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(c.GB_start);
  layout->addWidget(c.GB_display);
  layout->addLayout(middle);
  layout->addWidget(c.GroupBox1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setMinimumWidth(400);

  QWidget* order[] = {c.DelayCount,         c.CB_splash,          c.CB_global, c.CB_netState, c.RG_netTestItems[0],
                      c.RG_netTestItems[1], c.RG_netTestItems[2], c.NetTest,   c.TestButton,  c.CB_proxy,
                      c.ProxyAddr,          c.ProxyPort,          c.OkButton,  c.CancelButton};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

bool TOptionsForm::showModal() {
  FormShow();
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  return exec() == QDialog::Accepted;
}

void TOptionsForm::FormShow() {
  kip::FormShow(m_state, m_services.prefs);
  pushAll();
  m_controls.DelayCount->setFocus();
  m_controls.DelayCount->selectAll();
}

void TOptionsForm::OkButtonClick() {
  pullTexts();
  kip::OkButtonClick(m_state, m_services.prefs, m_services.results);
  accept();
}

void TOptionsForm::TestButtonClick() {
  pullTexts();
  NetworkTestMessage message;
  {
    const BusyCursor busy;
    message = kip::TestButtonClick(m_state, m_services.probe);
  }
  m_services.prompts.message(message.text, message.icon);
}

void TOptionsForm::keyPressEvent(QKeyEvent* event) {
  // Escape presses "Test now..." and closes nothing; the close box still cancels through reject().
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    m_controls.TestButton->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TOptionsForm::event(QEvent* event) {
  // The title bar's help button opens the dialog's help page instead of the what's-this mode.
  if (event->type() == QEvent::EnterWhatsThisMode) {
    QWhatsThis::leaveWhatsThisMode();
    openHelpTopic(topic::kOptions);
    return true;
  }
  return QDialog::event(event);
}

void TOptionsForm::pushAll() {
  auto& c = m_controls;
  const QSignalBlocker blockGroup(m_netGroup);
  const QSignalBlocker blockProxy(c.CB_proxy);
  c.DelayCount->setText(qs(m_state.DelayCount.Text));
  c.LogonRunText->setText(qs(m_state.LogonRunText.Caption));
  c.LogonRunText->setAccessibleName(c.LogonRunText->text());
  c.CB_splash->setChecked(m_state.CB_splash.Checked);
  c.CB_global->setChecked(m_state.CB_global.Checked);
  c.CB_netState->setChecked(m_state.CB_netState.Checked);
  c.RG_netTestItems[m_state.RG_netTest.ItemIndex]->setChecked(true);
  c.NetTest->setText(qs(m_state.NetTest.Text));
  c.CB_proxy->setChecked(m_state.CB_proxy.Checked);
  c.ProxyAddr->setText(qs(m_state.ProxyAddr.Text));
  c.ProxyPort->setText(qs(m_state.ProxyPort.Text));
  pushEnabling();
}

void TOptionsForm::pushEnabling() {
  auto& c = m_controls;
  c.NetTest->setEnabled(m_state.NetTest.Enabled);
  c.NetTest->setVisible(m_state.NetTest.Visible);
  c.Label1->setEnabled(m_state.Label1.Enabled);
  c.Label2->setEnabled(m_state.Label2.Enabled);
  c.ProxyAddr->setEnabled(m_state.ProxyAddr.Enabled);
  c.ProxyPort->setEnabled(m_state.ProxyPort.Enabled);
}

void TOptionsForm::pullTexts() {
  auto& c = m_controls;
  m_state.DelayCount.Text = ss(c.DelayCount->text());
  m_state.CB_splash.Checked = c.CB_splash->isChecked();
  m_state.CB_global.Checked = c.CB_global->isChecked();
  m_state.CB_netState.Checked = c.CB_netState->isChecked();
  m_state.NetTest.Text = ss(c.NetTest->text());
  m_state.ProxyAddr.Text = ss(c.ProxyAddr->text());
  m_state.ProxyPort.Text = ss(c.ProxyPort->text());
}

}  // namespace kip
