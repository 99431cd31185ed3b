#include "ui/qt_prompts.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kip {

namespace {

QString toQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "Text|*.txt|All Files|*.*" becomes "Text (*.txt);;All Files (*.*)".
QString qtFilter(const std::string& filter) {
  const QStringList parts = toQt(filter).split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) entries << parts[i] + " (" + parts[i + 1] + ")";
  return entries.join(";;");
}

// For tests of the built program: with KIPLAUNCH_PROMPT_LOG set, no box or dialog is shown; every message,
// question and file or folder dialog (its title) is appended to that file as one line, and questions take their answers
// in turn from the letters of KIPLAUNCH_PROMPT_ANSWERS (y, n, c; Cancel once they run out).
bool logPrompt(const char* kind, std::string_view text) {
  const char* path = std::getenv("KIPLAUNCH_PROMPT_LOG");
  if (!path || !*path) return false;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::string line = std::string(kind) + ": " + std::string(text);
    for (auto& c : line)
      if (c == '\n') c = '|';
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
  return true;
}

Answer nextScriptedAnswer() {
  static std::size_t next = 0;
  const char* answers = std::getenv("KIPLAUNCH_PROMPT_ANSWERS");
  if (!answers || next >= std::strlen(answers)) return Answer::Cancel;
  switch (answers[next++]) {
    case 'y':
    case 'Y':
      return Answer::Yes;
    case 'n':
    case 'N':
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

// The answers of file and folder dialogs while prompts are logged: the lines of KIPLAUNCH_PROMPT_FILES in
// turn (an empty line cancels; cancelled once they run out).
std::optional<std::string> nextScriptedPath() {
  static std::size_t next = 0;
  const char* paths = std::getenv("KIPLAUNCH_PROMPT_FILES");
  if (!paths) return std::nullopt;
  const QStringList lines = QString::fromUtf8(paths).split('\n');
  if (next >= static_cast<std::size_t>(lines.size())) return std::nullopt;
  const QString line = lines[static_cast<qsizetype>(next++)];
  if (line.isEmpty()) return std::nullopt;
  return line.toStdString();
}

// Hides the files that may not be executed while the dialog's first filter is chosen.
class ExecutableFilter final : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void setActive(bool active) {
    m_active = active;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!m_active) return true;
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    return info.isDir() || info.isExecutable();
  }

 private:
  bool m_active = true;
};

}  // namespace

void QtPrompts::message(std::string_view text, MessageIcon icon) {
  if (logPrompt("message", text)) return;
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  switch (icon) {
    case MessageIcon::Information:
      qtIcon = QMessageBox::Information;
      break;
    case MessageIcon::Warning:
      qtIcon = QMessageBox::Warning;
      break;
    case MessageIcon::Error:
      qtIcon = QMessageBox::Critical;
      break;
    case MessageIcon::None:
      break;
  }
  QMessageBox box(qtIcon, toQt(kAppTitle), toQt(text), QMessageBox::Ok, m_parent);
  box.exec();
}

Answer QtPrompts::question(std::string_view text) {
  if (logPrompt("question", text)) return nextScriptedAnswer();
  QMessageBox box(QMessageBox::Question, toQt(kAppTitle), toQt(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

std::optional<std::string> QtPrompts::saveFileName(const FileDialogOptions& options) {
  if (logPrompt("save", options.title)) return nextScriptedPath();
  QFileDialog dialog(m_parent, toQt(options.title), QString(), qtFilter(options.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setDefaultSuffix(toQt(options.defaultExtension));
  dialog.selectFile(toQt(options.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtPrompts::openFileName(const FileDialogOptions& options) {
  if (logPrompt("open", options.title)) return nextScriptedPath();
  QFileDialog dialog(m_parent, toQt(options.title), QString(), qtFilter(options.filter));
  if (options.executablesFirst) {
    // Qt's own dialog, since only it takes a filter model; the first filter shows programs only.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* filter = new ExecutableFilter(&dialog);
    dialog.setProxyModel(filter);
    const QString first = qtFilter(options.filter).section(QStringLiteral(";;"), 0, 0);
    QObject::connect(&dialog, &QFileDialog::filterSelected, filter,
                     [filter, first](const QString& chosen) { filter->setActive(chosen == first); });
  }
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, true);
  dialog.setDefaultSuffix(toQt(options.defaultExtension));
  if (!options.fileName.empty()) dialog.selectFile(toQt(options.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtPrompts::folderName(const FileDialogOptions& options) {
  if (logPrompt("folder", options.title)) return nextScriptedPath();
  QFileDialog dialog(m_parent, toQt(options.title), toQt(options.fileName));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace kip
