#include "ui/qt_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
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

// For tests of the built program: with KIPLAUNCH_PROMPT_LOG set, no box is shown; every message and
// question is appended to that file as one line, and questions take their answers in turn from the
// letters of KIPLAUNCH_PROMPT_ANSWERS (y, n, c; Cancel once they run out).
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
  QFileDialog dialog(m_parent, toQt(options.title), QString(), qtFilter(options.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setDefaultSuffix(toQt(options.defaultExtension));
  dialog.selectFile(toQt(options.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtPrompts::openFileName(const FileDialogOptions& options) {
  QFileDialog dialog(m_parent, toQt(options.title), QString(), qtFilter(options.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, true);
  dialog.setDefaultSuffix(toQt(options.defaultExtension));
  if (!options.fileName.empty()) dialog.selectFile(toQt(options.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace kip
