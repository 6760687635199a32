// The dialog service: real Qt dialogs, or scripted answers and a record of what was shown.
#include "platform/ui/Dialogs.h"

#include "platform/ui/Forms.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStringList>

#include <memory>

namespace {

// Message texts use a carriage return alone as a line break; Qt wants a line feed.
QString DisplayText(const QString& text) {
  QString result = text;
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

QString ProgramTitle() {
  if (Application != nullptr && !Application->Title().isEmpty()) return Application->Title();
  return QCoreApplication::applicationName();
}

QWidget* DialogParent() { return QApplication::activeWindow(); }

// "Comma Separated Values|*.csv|All files|*.*" -> "Comma Separated Values (*.csv);;All files (*.*)".
QString QtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    result << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return result.join(QStringLiteral(";;"));
}

bool IsQuestion(TDialogKind kind) {
  return kind == TDialogKind::Confirmation || kind == TDialogKind::Input || kind == TDialogKind::OpenFile ||
         kind == TDialogKind::SaveFile;
}

}  // namespace

TDialogService& TDialogService::Instance() {
  static TDialogService service;
  return service;
}

void TDialogService::Clear() {
  Answers_.clear();
  Shown_.clear();
}

TDialogAnswer TDialogService::Script(TDialogKind kind, const QString& caption, const QString& text) {
  TDialogRecord record{kind, caption, text, true, true};
  TDialogAnswer answer{kind, true, {}};
  if (IsQuestion(kind)) {
    if (!Answers_.empty() && Answers_.front().Kind == kind) {
      answer = Answers_.front();
      Answers_.pop_front();
    } else {
      record.Answered = false;
      answer.Accept = false;
    }
    record.Accepted = answer.Accept;
  }
  Shown_.push_back(record);
  return answer;
}

bool TDialogService::Confirm(const QString& text) {
  const QString caption = QStringLiteral("Confirm");
  if (Scripted_) return Script(TDialogKind::Confirmation, caption, text).Accept;
  QMessageBox box(QMessageBox::Question, caption, DisplayText(text), QMessageBox::Yes | QMessageBox::No,
                  DialogParent());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void TDialogService::ShowMessage(const QString& text) {
  if (Scripted_) {
    Script(TDialogKind::Information, ProgramTitle(), text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), DisplayText(text), QMessageBox::Ok, DialogParent());
  box.exec();
}

void TDialogService::ShowError(const QString& text) {
  if (Scripted_) {
    Script(TDialogKind::Error, ProgramTitle(), text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, ProgramTitle(), DisplayText(text), QMessageBox::Ok, DialogParent());
  box.exec();
}

bool TDialogService::InputQuery(const QString& caption, const QString& prompt, QString& value) {
  if (Scripted_) {
    const TDialogAnswer answer = Script(TDialogKind::Input, caption, prompt);
    if (answer.Accept) value = answer.Text;
    return answer.Accept;
  }
  QInputDialog box(DialogParent());
  box.setWindowTitle(caption);
  box.setLabelText(prompt);
  box.setTextValue(value);
  if (box.exec() != QDialog::Accepted) return false;
  value = box.textValue();
  return true;
}

bool TDialogService::ExecuteFileDialog(TDialogKind kind, const TFileDialogOptions& options, QString& fileName) {
  if (Scripted_) {
    const TDialogAnswer answer = Script(kind, options.Title, options.FileName);
    if (answer.Accept) fileName = answer.Text;
    return answer.Accept;
  }
  QFileDialog box(DialogParent(), options.Title);
  box.setAcceptMode(kind == TDialogKind::SaveFile ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  box.setFileMode(kind == TDialogKind::SaveFile ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!options.Filter.isEmpty()) box.setNameFilter(QtFilter(options.Filter));
  if (!options.DefaultExt.isEmpty()) box.setDefaultSuffix(options.DefaultExt);
  if (!options.FileName.isEmpty()) box.selectFile(options.FileName);
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
  fileName = box.selectedFiles().front();
  return true;
}

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText) {
  QString value = defaultText;
  if (!DialogService().InputQuery(caption, prompt, value)) return defaultText;
  return value;
}

void TDialogService::ShowPreview(const QString& caption, const QString& text,
                                 std::function<void(QPrinter& printer)> paint) {
  if (Scripted_) {
    Script(TDialogKind::Preview, caption, text);
    return;
  }
  // The preview stays open after the caller returns; it owns its printer and the painter.
  auto* printer = new QPrinter(QPrinter::HighResolution);
  printer->setPageSize(QPageSize(QPageSize::Letter));
  printer->setPageOrientation(QPageLayout::Portrait);
  printer->setFullPage(true);
  auto* dialog = new QPrintPreviewDialog(printer);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(caption);
  QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog,
                   [paint = std::move(paint)](QPrinter* target) { paint(*target); });
  QObject::connect(dialog, &QObject::destroyed, [printer] { std::unique_ptr<QPrinter> gone(printer); });
  dialog->show();
}

bool TOpenDialog::Execute() {
  QString chosen;
  if (!DialogService().ExecuteFileDialog(Kind(), Options_, chosen)) return false;
  Options_.FileName = chosen;
  return true;
}
