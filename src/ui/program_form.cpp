#include "ui/program_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/linux/window_session.h"
#include "ui/help_opener.h"
#include "ui/program_form_binder.h"
#include "ui/program_icon.h"

namespace kip {

namespace {

// Gives a widget its control name and what a screen reader says of it: the caption (or the label in front of
// a field) without "&", and the control name as its description.
template <class Widget>
Widget* named(Widget* widget, const char* control, const QString& caption) {
  widget->setObjectName(control);
  widget->setAccessibleName(QString(caption).remove('&').trimmed());
  widget->setAccessibleDescription(control);
  return widget;
}

QLabel* fieldLabel(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

// A read-only value. Its text is what a screen reader says of it, so it has no accessible name of its own;
// the caption in front of it is no buddy of it, which would name an empty value after the caption.
QLabel* valueLabel(const char* control, bool bold) {
  auto* label = new QLabel;
  label->setObjectName(control);
  label->setAccessibleDescription(control);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

// A count field takes digits; the sign only matters for a stored negative value, which stays editable.
QLineEdit* countEdit(const char* control, const QString& label) {
  auto* edit = named(new QLineEdit, control, label);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("-?[0-9]*"), edit));
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
  return edit;
}

QLineEdit* timeEdit(const char* control, const QString& label) {
  auto* edit = named(new QLineEdit, control, label);
  edit->setInputMask(QStringLiteral("99:99"));
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00:000")) + 16);
  return edit;
}

QComboBox* listCombo(const char* control, const QString& label) {
  auto* combo = named(new QComboBox, control, label);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return combo;
}

// The unit list beside a count field. A screen reader on Linux names a combo box by its current text and by
// the label linked to it, so the list gets a label of its own, kept out of sight.
QComboBox* unitsCombo(const char* control, const QString& name, QBoxLayout* row) {
  auto* combo = listCombo(control, name);
  auto* label = fieldLabel(name, combo);
  label->setVisible(false);
  row->addWidget(label);
  return combo;
}

QComboBox* editableCombo(const char* control, const QString& label) {
  auto* combo = named(new QComboBox, control, label);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);  // the form logic decides what joins the list
  combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // Wide enough for a typical configuration, user or group name in the dialog's fixed size.
  combo->setMinimumContentsLength(20);
  return combo;
}

// A framed radio group whose buttons carry their item index as id.
QGroupBox* radioGroup(const char* control, const QString& caption, const QStringList& items, int columns,
                      QButtonGroup*& buttons) {
  auto* frame = named(new QGroupBox(caption), control, caption);
  auto* layout = new QGridLayout(frame);
  buttons = new QButtonGroup(frame);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i]);
    button->setAccessibleName(items[i]);
    button->setAccessibleDescription(QString::fromLatin1(control));
    buttons->addButton(button, i);
    layout->addWidget(button, i / columns, i % columns);
  }
  return frame;
}

// The name line at the top of a tab.
QHBoxLayout* nameLine(QLabel*& title, const char* control) {
  auto* line = new QHBoxLayout;
  title = valueLabel(control, true);
  line->addWidget(fieldLabel(QStringLiteral("Name:"), title));
  line->addWidget(title, 1);
  return line;
}

// A group check box with its framed group beside it.
QGroupBox* checkedGroup(QVBoxLayout* page, QCheckBox* box, const char* control, const QString& caption) {
  auto* frame = named(new QGroupBox(caption), control, caption);
  page->addWidget(box);
  auto* indent = new QHBoxLayout;
  indent->addSpacing(20);
  indent->addWidget(frame, 1);
  page->addLayout(indent);
  return frame;
}

QString longDateTime(DateTime value) {
  const CivilDateTime c = decodeDateTime(value);
  const QDateTime moment(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second));
  const QLocale locale;
  // The long time without its zone: the value is local time already.
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  timeFormat.remove(QLatin1Char('t'));
  return locale.toString(moment.date(), QLocale::LongFormat) + QLatin1Char(' ') +
         locale.toString(moment.time(), timeFormat.trimmed());
}

}  // namespace

TProgramForm::TProgramForm(ProgramFormState& state, ProgramFormServices services, QWidget* parent)
    : QDialog(parent), m_state(state), m_services(std::move(services)) {
  if (!m_services.openHelp) m_services.openHelp = [](int topic) { openHelpTopic(topic); };
  setObjectName(QStringLiteral("ProgramForm"));
  setWindowTitle(QString::fromUtf8(kProgramFormCaption.data(), static_cast<qsizetype>(kProgramFormCaption.size())));
  setAccessibleDescription(QStringLiteral("TProgramForm"));
  setWindowIcon(programIcon());
  // A close button only, and a fixed size, so that window managers which honour neither hint offer no maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setProperty(kHelpTopicProperty, kProgramFormHelpTopic);
  build();
  bind();
}

TProgramForm::~TProgramForm() = default;

void TProgramForm::build() {
  Controls& c = m_controls;
  auto* top = new QVBoxLayout(this);
  c.Pages = named(new QTabWidget, "PageControl", QStringLiteral("Program Definition"));
  top->addWidget(c.Pages);

  // Each tab holds one contents widget, disabled as a whole for a read-only definition.
  std::vector<QWidget*> contents;
  auto addPage = [&](const QString& caption, ProgramFormPage page) {
    auto* tab = new QWidget;
    tab->setProperty(kHelpTopicProperty, HelpTopic(page));
    auto* tabLayout = new QVBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    tabLayout->addWidget(content);
    contents.push_back(content);
    c.Pages->addTab(tab, caption);
    return new QVBoxLayout(content);
  };

  // "Program"
  QVBoxLayout* page = addPage(QStringLiteral("Program"), ProgramFormPage::Program);
  page->addLayout(nameLine(c.Title, "Title"));
  c.Disabled =
      named(new QCheckBox(QStringLiteral("Disable execution")), "Disabled", QStringLiteral("Disable execution"));
  page->addWidget(c.Disabled);
  {
    auto* frame = new QGroupBox(QStringLiteral(" Program: "));
    frame->setAccessibleName(QStringLiteral("Program:"));
    auto* grid = new QGridLayout(frame);
    auto addPath = [&](int row, QLineEdit*& edit, const char* control, const QString& label, QPushButton*& browse,
                       const char* browseControl) {
      edit = named(new QLineEdit, control, label);
      browse = named(new QPushButton(QStringLiteral("Browse...")), browseControl, QStringLiteral("Browse..."));
      browse->setAutoDefault(false);
      grid->addWidget(fieldLabel(label, edit), row, 0);
      grid->addWidget(edit, row, 1);
      grid->addWidget(browse, row, 2);
    };
    addPath(0, c.ModuleName, "ModuleName", QStringLiteral("Program:"), c.ModuleBrowse, "ModuleBrowse");
    addPath(1, c.CommandLine, "CommandLine", QStringLiteral("Parameters:"), c.ParameterBrowse, "ParameterBrowse");
    addPath(2, c.StartDirectory, "StartDirectory", QStringLiteral("Start in:"), c.DirectoryBrowse, "DirectoryBrowse");
    c.RunWindow = listCombo("RunWindow", QStringLiteral("Run style:"));
    grid->addWidget(fieldLabel(QStringLiteral("Run style:"), c.RunWindow), 3, 0);
    grid->addWidget(c.RunWindow, 3, 1, Qt::AlignLeft);
    page->addWidget(frame);
  }
  c.CB_delay = named(new QCheckBox(QStringLiteral("Delay Execution")), "CB_delay", QStringLiteral("Delay Execution"));
  c.DelayGroup = checkedGroup(page, c.CB_delay, "DelayGroup", QStringLiteral(" Delay "));
  {
    auto* row = new QHBoxLayout(c.DelayGroup);
    c.DelayCount = countEdit("DelayCount", QStringLiteral("Delay before starting"));
    c.CB_delayunits = unitsCombo("CB_delayunits", QStringLiteral("Delay units"), row);
    row->addWidget(fieldLabel(QStringLiteral("Delay before starting"), c.DelayCount));
    row->addWidget(c.DelayCount);
    row->addWidget(c.CB_delayunits);
    row->addStretch(1);
  }
  {
    auto* row = new QHBoxLayout;
    c.SequenceNumber = countEdit("SequenceNumber", QStringLiteral("Start Sequence"));
    row->addWidget(fieldLabel(QStringLiteral("Start Sequence"), c.SequenceNumber));
    row->addWidget(c.SequenceNumber);
    row->addStretch(1);
    page->addLayout(row);
  }
  page->addStretch(1);

  // "Conditions"
  page = addPage(QStringLiteral("Conditions"), ProgramFormPage::Conditions);
  page->addLayout(nameLine(c.CondTitle, "CondTitle"));
  {
    auto* frame = new QGroupBox(QStringLiteral(" Startup Restrictions: "));
    frame->setAccessibleName(QStringLiteral("Startup Restrictions:"));
    auto* grid = new QGridLayout(frame);
    auto addRestriction = [&](int row, QCheckBox*& box, const char* control, const QString& caption, QComboBox*& combo,
                              const char* comboControl, const QString& label, QLabel*& labelWidget) {
      box = named(new QCheckBox(caption), control, caption);
      combo = editableCombo(comboControl, label);
      labelWidget = fieldLabel(label, combo);
      grid->addWidget(box, row, 0);
      grid->addWidget(labelWidget, row, 1);
      grid->addWidget(combo, row, 2);
    };
    addRestriction(0, c.SpecialConfig, "SpecialConfig", QStringLiteral("Only for specific Configuration"),
                   c.ConfigComboBox, "ConfigComboBox", QStringLiteral("Configuration"), c.ConfigLabel);
    addRestriction(1, c.SpecialUser, "SpecialUser", QStringLiteral("Only for specific Logon userid"), c.UserComboBox,
                   "UserComboBox", QStringLiteral("Userid "), c.UserLabel);
    addRestriction(2, c.SpecialGroup, "SpecialGroup", QStringLiteral("Only for specific NT user Group"),
                   c.GroupComboBox, "GroupComboBox", QStringLiteral("Group"), c.GroupLabel);
    grid->setColumnStretch(2, 1);
    page->addWidget(frame);
  }
  {
    auto* row = new QHBoxLayout;
    c.NETRadioGroup =
        radioGroup("NETRadioGroup", QStringLiteral(" Network Connection: "),
                   {QStringLiteral("Always"), QStringLiteral("Network Attached"), QStringLiteral("No Network")}, 1,
                   m_radioButtons[0]);
    c.DUNRadioGroup = radioGroup(
        "DUNRadioGroup", QStringLiteral(" Dial Up Networking: "),
        {QStringLiteral("Always"), QStringLiteral("Connected"), QStringLiteral("Not Connected")}, 1, m_radioButtons[1]);
    c.APMRadioGroup = radioGroup(
        "APMRadioGroup", QStringLiteral(" Power State: "),
        {QStringLiteral("Always"), QStringLiteral("Mains Only"), QStringLiteral("Battery Only")}, 1, m_radioButtons[2]);
    row->addWidget(c.NETRadioGroup);
    row->addWidget(c.DUNRadioGroup);
    row->addWidget(c.APMRadioGroup);
    page->addLayout(row);
  }
  c.CB_change =
      named(new QCheckBox(QStringLiteral("Compare prev startup")), "CB_change", QStringLiteral("Compare prev startup"));
  c.ChangeGroup = checkedGroup(page, c.CB_change, "ChangeGroup", QStringLiteral(" Change Events "));
  {
    auto* row = new QHBoxLayout(c.ChangeGroup);
    row->addWidget(new QLabel(QStringLiteral("Run only if change of:")));
    c.CB_cConfig = named(new QCheckBox(QStringLiteral("Config  ")), "CB_cConfig", QStringLiteral("Config"));
    c.CB_cPower = named(new QCheckBox(QStringLiteral("Power")), "CB_cPower", QStringLiteral("Power"));
    c.CB_cUser = named(new QCheckBox(QStringLiteral("User")), "CB_cUser", QStringLiteral("User"));
    row->addWidget(c.CB_cConfig);
    row->addWidget(c.CB_cPower);
    row->addWidget(c.CB_cUser);
    row->addStretch(1);
  }
  c.CB_net = named(new QCheckBox(QStringLiteral("Check for Resource")), "CB_net", QStringLiteral("Check for Resource"));
  c.NetGroup = checkedGroup(page, c.CB_net, "NetGroup", QStringLiteral(" Network Resource "));
  {
    auto* row = new QHBoxLayout(c.NetGroup);
    c.RB_netYes = named(new QRadioButton(QStringLiteral("Present")), "RB_netYes", QStringLiteral("Present"));
    c.RB_netNo = named(new QRadioButton(QStringLiteral("Absent")), "RB_netNo", QStringLiteral("Absent"));
    m_netPresence = new QButtonGroup(c.NetGroup);
    m_netPresence->addButton(c.RB_netYes, 0);
    m_netPresence->addButton(c.RB_netNo, 1);
    c.Net_Resource = named(new QLineEdit, "Net_Resource", QStringLiteral("Network Resource"));
    row->addWidget(c.RB_netYes);
    row->addWidget(c.RB_netNo);
    row->addWidget(c.Net_Resource, 1);
  }
  // What a desktop's autostart entry asks of the session, tested at every run like the conditions above.
  c.DesktopGroup =
      named(new QGroupBox(QStringLiteral(" Desktop Session ")), "DesktopGroup", QStringLiteral("Desktop Session"));
  {
    auto* grid = new QGridLayout(c.DesktopGroup);
    const auto addLine = [&](int row, QLineEdit*& edit, const char* control, const QString& label,
                             const QString& description) {
      edit = named(new QLineEdit, control, label);
      edit->setToolTip(description);
      grid->addWidget(fieldLabel(label, edit), row, 0);
      grid->addWidget(edit, row, 1);
    };
    addLine(0, c.DesktopOnly, "DesktopOnly", QStringLiteral("Only in desktops:"),
            QStringLiteral("Starts only when one of these desktops (separated by ;) is current"));
    addLine(1, c.DesktopNot, "DesktopNot", QStringLiteral("Not in desktops:"),
            QStringLiteral("Does not start when one of these desktops (separated by ;) is current"));
    addLine(2, c.TryExecProgram, "TryExecProgram", QStringLiteral("Needs program:"),
            QStringLiteral("Starts only when this program is installed"));
    addLine(3, c.AutostartCondition, "AutostartCondition", QStringLiteral("Autostart condition:"),
            QStringLiteral("GSettings SCHEMA KEY, if-exists FILE, unless-exists FILE or KDE FILE:GROUP:KEY:DEFAULT"));
  }
  page->addWidget(c.DesktopGroup);
  page->addStretch(1);

  // "Times"
  page = addPage(QStringLiteral("Times"), ProgramFormPage::Times);
  page->addLayout(nameLine(c.TimeTitle, "TimeTitle"));
  c.CB_days = named(new QCheckBox(QStringLiteral("Limit on Days")), "CB_days", QStringLiteral("Limit on Days"));
  c.DaysGroup = checkedGroup(page, c.CB_days, "DaysGroup", QStringLiteral(" Runs on Days of Week "));
  {
    auto* row = new QHBoxLayout(c.DaysGroup);
    static const std::array<const char*, 7> kDayCaptions = {"Mon ", "Tue", "Wed", "Thur", "Fri", "Sat", "Sun"};
    static const std::array<const char*, 7> kDayControls = {"CB_day1", "CB_day2", "CB_day3", "CB_day4",
                                                            "CB_day5", "CB_day6", "CB_day7"};
    for (std::size_t day = 0; day < 7; ++day) {
      const QString caption = QString::fromLatin1(kDayCaptions[day]);
      c.CB_day[day] = named(new QCheckBox(caption), kDayControls[day], caption);
      row->addWidget(c.CB_day[day]);
    }
    row->addStretch(1);
  }
  c.CB_times = named(new QCheckBox(QStringLiteral("Limit on time")), "CB_times", QStringLiteral("Limit on time"));
  c.TimesGroup = checkedGroup(page, c.CB_times, "TimesGroup", QStringLiteral(" Time of Day "));
  {
    auto* row = new QHBoxLayout(c.TimesGroup);
    c.TimeFrom = timeEdit("TimeFrom", QStringLiteral("Run only if between:"));
    c.TimeTo = timeEdit("TimeTo", QStringLiteral("and"));
    row->addWidget(fieldLabel(QStringLiteral("Run only if between:"), c.TimeFrom));
    row->addWidget(c.TimeFrom);
    row->addWidget(fieldLabel(QStringLiteral("and"), c.TimeTo));
    row->addWidget(c.TimeTo);
    row->addStretch(1);
  }
  c.CB_freq =
      named(new QCheckBox(QStringLiteral("Limit run frequency")), "CB_freq", QStringLiteral("Limit run frequency"));
  c.FreqGroup = checkedGroup(page, c.CB_freq, "FreqGroup", QStringLiteral(" Frequency "));
  {
    auto* row = new QHBoxLayout(c.FreqGroup);
    c.FreqCount = countEdit("FreqCount", QStringLiteral("Mimimum between runs"));
    c.CB_frequnits = unitsCombo("CB_frequnits", QStringLiteral("Frequency units"), row);
    row->addWidget(fieldLabel(QStringLiteral("Mimimum between runs"), c.FreqCount));
    row->addWidget(c.FreqCount);
    row->addWidget(c.CB_frequnits);
    row->addStretch(1);
  }
  page->addStretch(1);

  // "Afterwards"
  page = addPage(QStringLiteral("Afterwards"), ProgramFormPage::Afterwards);
  page->addLayout(nameLine(c.FreqTitle, "FreqTitle"));
  auto timing = [&](QGroupBox* frame, QGroupBox* radios, QLineEdit*& count, const char* countControl, QComboBox*& units,
                    const char* unitsControl, const QString& label, const QString& unitsName) {
    auto* column = new QVBoxLayout(frame);
    column->addWidget(radios);
    auto* row = new QHBoxLayout;
    count = countEdit(countControl, label);
    units = unitsCombo(unitsControl, unitsName, row);
    row->addWidget(fieldLabel(label, count));
    row->addWidget(count);
    row->addWidget(units);
    row->addStretch(1);
    column->addLayout(row);
  };
  c.CB_wait = named(new QCheckBox(QStringLiteral("Wait")), "CB_wait", QStringLiteral("Wait"));
  c.WaitGroup = checkedGroup(page, c.CB_wait, "WaitGroup", QStringLiteral(" Action "));
  c.WaitRadioGroup = radioGroup("WaitRadioGroup", QStringLiteral(" Wait for "),
                                {QStringLiteral("Idle"), QStringLiteral("Finish")}, 2, m_radioButtons[3]);
  timing(c.WaitGroup, c.WaitRadioGroup, c.WaitCount, "WaitCount", c.CB_waitunits, "CB_waitunits",
         QStringLiteral("Limit waiting to"), QStringLiteral("Wait units"));
  c.CB_msg = named(new QCheckBox(QStringLiteral("Automatic Action")), "CB_msg", QStringLiteral("Automatic Action"));
  c.MsgGroup = checkedGroup(page, c.CB_msg, "MsgGroup", QStringLiteral(" Action "));
  c.MsgRadioGroup = radioGroup(
      "MsgRadioGroup", QStringLiteral(" Action "),
      {QStringLiteral("Close"), QStringLiteral("Restore"), QStringLiteral("Minimize"), QStringLiteral("Maximize")}, 4,
      m_radioButtons[4]);
  timing(c.MsgGroup, c.MsgRadioGroup, c.MsgCount, "MsgCount", c.CB_msgunits, "CB_msgunits",
         QStringLiteral("Perform action after"), QStringLiteral("Action units"));
  page->addStretch(1);

  // "Status"
  page = addPage(QStringLiteral("Status"), ProgramFormPage::Status);
  {
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.StatTitle = valueLabel("StatTitle", true);
    c.LastExecuted = valueLabel("LastExecuted", false);
    c.LastTested = valueLabel("LastTested", false);
    c.ExecMsg = valueLabel("ExecMsg", false);
    c.ExecMsg->setWordWrap(true);
    c.ExecMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.ExecMsg->setMinimumHeight(c.ExecMsg->fontMetrics().lineSpacing() * 5);
    form->addRow(new QLabel(QStringLiteral("Name:")), c.StatTitle);
    form->addRow(new QLabel(QStringLiteral("Last executed:")), c.LastExecuted);
    form->addRow(new QLabel(QStringLiteral("Last tested:")), c.LastTested);
    form->addRow(new QLabel(QStringLiteral("Result:")), c.ExecMsg);
    page->addLayout(form);
  }
  page->addStretch(1);

  // Below the tabs
  c.ReadOnlyLabel = named(new QLabel, "ReadOnlyLabel", QString::fromStdString(m_state.ReadOnlyLabel.Caption));
  {
    QFont font = c.ReadOnlyLabel->font();
    font.setBold(true);
    font.setItalic(true);
    c.ReadOnlyLabel->setFont(font);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(c.ReadOnlyLabel);
  buttons->addStretch(1);
  c.OkButton = named(new QPushButton(QStringLiteral("OK")), "OkButton", QStringLiteral("OK"));
  c.CancelButton = named(new QPushButton(QStringLiteral("Cancel")), "CancelButton", QStringLiteral("Cancel"));
  c.TestButton = named(new QPushButton(QStringLiteral("Test...")), "TestButton", QStringLiteral("Test..."));
  c.HelpButton = named(new QPushButton(QStringLiteral("Help")), "HelpButton", QStringLiteral("Help"));
  c.OkButton->setDefault(true);
  for (QPushButton* button : {c.CancelButton, c.TestButton, c.HelpButton}) button->setAutoDefault(false);
  for (QPushButton* button : {c.OkButton, c.CancelButton, c.TestButton, c.HelpButton}) buttons->addWidget(button);
  c.OkButton->setProperty(kHelpTopicProperty, help_topic::kOkButton);
  c.CancelButton->setProperty(kHelpTopicProperty, help_topic::kCancelButton);
  c.TestButton->setProperty(kHelpTopicProperty, help_topic::kTestButton);
  top->addLayout(buttons);
  top->setSizeConstraint(QLayout::SetFixedSize);
  c.PageContents = contents;

  // The tab order follows the order of the controls on each tab.
  std::vector<QWidget*> order = {c.Pages,          c.Disabled,        c.ModuleName,     c.ModuleBrowse,
                                 c.CommandLine,    c.ParameterBrowse, c.StartDirectory, c.DirectoryBrowse,
                                 c.RunWindow,      c.CB_delay,        c.DelayCount,     c.CB_delayunits,
                                 c.SequenceNumber, c.SpecialConfig,   c.ConfigComboBox, c.SpecialUser,
                                 c.UserComboBox,   c.SpecialGroup,    c.GroupComboBox};
  for (int group = 0; group < 3; ++group)
    for (QAbstractButton* button : m_radioButtons[static_cast<std::size_t>(group)]->buttons()) order.push_back(button);
  for (QWidget* w : std::initializer_list<QWidget*>{c.CB_change, c.CB_cConfig, c.CB_cPower, c.CB_cUser, c.CB_net,
                                                    c.RB_netYes, c.RB_netNo, c.Net_Resource, c.DesktopOnly,
                                                    c.DesktopNot, c.TryExecProgram, c.AutostartCondition, c.CB_days})
    order.push_back(w);
  for (QCheckBox* day : c.CB_day) order.push_back(day);
  for (QWidget* w : std::initializer_list<QWidget*>{c.CB_times, c.TimeFrom, c.TimeTo, c.CB_freq, c.FreqCount,
                                                    c.CB_frequnits, c.CB_wait})
    order.push_back(w);
  for (QAbstractButton* button : m_radioButtons[3]->buttons()) order.push_back(button);
  for (QWidget* w : std::initializer_list<QWidget*>{c.WaitCount, c.CB_waitunits, c.CB_msg}) order.push_back(w);
  for (QAbstractButton* button : m_radioButtons[4]->buttons()) order.push_back(button);
  for (QWidget* w : std::initializer_list<QWidget*>{c.MsgCount, c.CB_msgunits, c.OkButton, c.CancelButton, c.TestButton,
                                                    c.HelpButton})
    order.push_back(w);
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TProgramForm::bind() {
  Controls& c = m_controls;
  ProgramFormState& s = m_state;
  m_binder = new ProgramFormBinder(s, this);
  ProgramFormBinder& b = *m_binder;
  for (auto [widget, label] : {std::pair{c.Title, &s.Title},
                               {c.CondTitle, &s.CondTitle},
                               {c.TimeTitle, &s.TimeTitle},
                               {c.FreqTitle, &s.FreqTitle},
                               {c.StatTitle, &s.StatTitle},
                               {c.LastExecuted, &s.LastExecuted},
                               {c.LastTested, &s.LastTested},
                               {c.ExecMsg, &s.ExecMsg},
                               {c.ConfigLabel, &s.ConfigLabel},
                               {c.UserLabel, &s.UserLabel},
                               {c.GroupLabel, &s.GroupLabel},
                               {c.ReadOnlyLabel, &s.ReadOnlyLabel}})
    b.label(widget, *label);
  for (auto [widget, box] : {std::pair{c.Disabled, &s.Disabled},
                             {c.CB_delay, &s.CB_delay},
                             {c.SpecialConfig, &s.SpecialConfig},
                             {c.SpecialUser, &s.SpecialUser},
                             {c.SpecialGroup, &s.SpecialGroup},
                             {c.CB_change, &s.CB_change},
                             {c.CB_cConfig, &s.CB_cConfig},
                             {c.CB_cPower, &s.CB_cPower},
                             {c.CB_cUser, &s.CB_cUser},
                             {c.CB_net, &s.CB_net},
                             {c.CB_days, &s.CB_days},
                             {c.CB_times, &s.CB_times},
                             {c.CB_freq, &s.CB_freq},
                             {c.CB_wait, &s.CB_wait},
                             {c.CB_msg, &s.CB_msg}})
    b.check(widget, *box);
  for (std::size_t day = 0; day < c.CB_day.size(); ++day) b.check(c.CB_day[day], s.CB_day[day]);
  for (auto [widget, edit] : {std::pair{c.ModuleName, &s.ModuleName},
                              {c.CommandLine, &s.CommandLine},
                              {c.StartDirectory, &s.StartDirectory},
                              {c.DelayCount, &s.DelayCount},
                              {c.SequenceNumber, &s.SequenceNumber},
                              {c.Net_Resource, &s.Net_Resource},
                              {c.DesktopOnly, &s.DesktopOnly},
                              {c.DesktopNot, &s.DesktopNot},
                              {c.TryExecProgram, &s.TryExecProgram},
                              {c.AutostartCondition, &s.AutostartCondition},
                              {c.FreqCount, &s.FreqCount},
                              {c.WaitCount, &s.WaitCount},
                              {c.MsgCount, &s.MsgCount}})
    b.edit(widget, *edit);
  b.edit(c.TimeFrom, s.TimeFrom, true);
  b.edit(c.TimeTo, s.TimeTo, true);
  for (auto [widget, combo] : {std::pair{c.RunWindow, &s.RunWindow},
                               {c.CB_delayunits, &s.CB_delayunits},
                               {c.ConfigComboBox, &s.ConfigComboBox},
                               {c.UserComboBox, &s.UserComboBox},
                               {c.GroupComboBox, &s.GroupComboBox},
                               {c.CB_frequnits, &s.CB_frequnits},
                               {c.CB_waitunits, &s.CB_waitunits},
                               {c.CB_msgunits, &s.CB_msgunits}})
    b.combo(widget, *combo);
  b.radio(m_radioButtons[0], c.NETRadioGroup, s.NETRadioGroup);
  b.radio(m_radioButtons[1], c.DUNRadioGroup, s.DUNRadioGroup);
  b.radio(m_radioButtons[2], c.APMRadioGroup, s.APMRadioGroup);
  b.radio(m_radioButtons[3], c.WaitRadioGroup, s.WaitRadioGroup);
  b.radio(m_radioButtons[4], c.MsgRadioGroup, s.MsgRadioGroup);
  b.netPresence(c.RB_netYes, c.RB_netNo);
  for (auto [frame, group] : {std::pair{c.DelayGroup, &s.DelayGroup},
                              {c.ChangeGroup, &s.ChangeGroup},
                              {c.NetGroup, &s.NetGroup},
                              {c.DaysGroup, &s.DaysGroup},
                              {c.TimesGroup, &s.TimesGroup},
                              {c.FreqGroup, &s.FreqGroup},
                              {c.WaitGroup, &s.WaitGroup},
                              {c.MsgGroup, &s.MsgGroup}})
    b.group(frame, *group);
  b.pages(c.PageContents);

  connect(c.Pages, &QTabWidget::currentChanged, this,
          [this](int index) { m_state.ActivePage = static_cast<ProgramFormPage>(index); });
  connect(c.ModuleBrowse, &QPushButton::clicked, this, [this] {
    ProgramBrowseClick(m_state, m_services.prompts);
    m_binder->pushAll();
  });
  connect(c.ParameterBrowse, &QPushButton::clicked, this, [this] {
    ParameterBrowseClick(m_state, m_services.prompts);
    m_binder->pushAll();
  });
  connect(c.DirectoryBrowse, &QPushButton::clicked, this, [this] {
    DirectoryBrowseClick(m_state, m_services.prompts);
    m_binder->pushAll();
  });
  connect(c.OkButton, &QPushButton::clicked, this, &TProgramForm::accept);
  connect(c.CancelButton, &QPushButton::clicked, this, &TProgramForm::reject);
  connect(c.TestButton, &QPushButton::clicked, this, [this] {
    TestButtonClick(m_state, m_services.tester, m_services.prompts,
                    windowCommandsNote(SessionFacts::fromEnvironment()));
  });
  connect(c.HelpButton, &QPushButton::clicked, this, [this] { m_services.openHelp(HelpTopic(m_state.ActivePage)); });
  // Ctrl+Tab and Ctrl+Shift+Tab turn the pages from any control, also from those that keep the keys to
  // themselves (a combo box), and put the focus on the first field of the new page.
  auto turnPage = [this](int step) {
    const int count = m_controls.Pages->count();
    const int index = (m_controls.Pages->currentIndex() + step + count) % count;
    m_controls.Pages->setCurrentIndex(index);
    const FormFocus focus = PageFocus(m_state, static_cast<ProgramFormPage>(index));
    if (focus == FormFocus::None)
      m_controls.Pages->setFocus(Qt::TabFocusReason);
    else
      setFocusTo(focus);
  };
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
          [turnPage] { turnPage(1); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this), &QShortcut::activated, this,
          [turnPage] { turnPage(-1); });
  for (QWidget* watched : {static_cast<QWidget*>(c.TimeFrom), static_cast<QWidget*>(c.TimeTo),
                           static_cast<QWidget*>(c.UserComboBox), static_cast<QWidget*>(c.GroupComboBox)})
    watched->installEventFilter(this);
}

void TProgramForm::prepareShow(ProgramFormPage page) {
  const FormFocus focus = FormShow(m_state, page, [](DateTime value) { return longDateTime(value).toStdString(); });
  m_binder->pushAll();
  m_controls.Pages->setCurrentIndex(static_cast<int>(page));
  setFocusTo(focus);
}

bool TProgramForm::showModal(ProgramFormPage page) {
  prepareShow(page);
  return exec() == QDialog::Accepted;
}

void TProgramForm::accept() {
  if (!OkButtonClick(m_state, m_services.prompts)) return;
  QDialog::accept();
}

void TProgramForm::setFocusTo(FormFocus focus) {
  QWidget* target = nullptr;
  switch (focus) {
    case FormFocus::ModuleName:
      target = m_controls.ModuleName;
      break;
    case FormFocus::SpecialConfig:
      target = m_controls.SpecialConfig;
      break;
    case FormFocus::CB_days:
      target = m_controls.CB_days;
      break;
    case FormFocus::CB_wait:
      target = m_controls.CB_wait;
      break;
    case FormFocus::TimeFrom:
      target = m_controls.TimeFrom;
      break;
    case FormFocus::TimeTo:
      target = m_controls.TimeTo;
      break;
    case FormFocus::None:
      break;
  }
  if (target) target->setFocus(Qt::OtherFocusReason);
}

// Runs after the focus has settled on its new control, so that the message box and the focus it moves
// back are not themselves taken for the user leaving a time field.
void TProgramForm::checkTimes(bool leavingFrom) {
  m_inTimeCheck = true;
  const FormFocus focus = TimeFieldExit(m_state, m_services.prompts, leavingFrom);
  setFocusTo(focus);
  m_inTimeCheck = false;
}

bool TProgramForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusOut) return QDialog::eventFilter(watched, event);
  const auto reason = static_cast<QFocusEvent*>(event)->reason();
  if (watched == m_controls.UserComboBox || watched == m_controls.GroupComboBox) {
    ComboBox& combo = watched == m_controls.UserComboBox ? m_state.UserComboBox : m_state.GroupComboBox;
    UserComboBoxExit(m_state, combo);
    m_binder->pushAll();
  } else if (!m_inTimeCheck && isVisible() && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
    const bool leavingFrom = watched == m_controls.TimeFrom;
    QTimer::singleShot(0, this, [this, leavingFrom] {
      if (!m_inTimeCheck && isVisible()) checkTimes(leavingFrom);
    });
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kip
