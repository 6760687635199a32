// The dialog service: every question, message, input box and file dialog of the program goes
// through it. In the program it shows the real Qt dialog; in tests it is scripted, takes its
// answers from a queue and keeps a record of everything it was asked to show.
#pragma once

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// What a dialog is.
enum class TDialogKind : uint8_t {
  Confirmation,  // question with Yes and No
  Information,   // message with OK
  Error,         // error message with OK (the default handler's)
  Input,         // input box: caption, prompt, text
  OpenFile,      // open-file dialog
  SaveFile,      // save-file dialog
  Preview,       // print preview of a report or chart (scripted: recorded, not shown)
};

// A scripted answer. Questions (Confirmation, Input, OpenFile, SaveFile) take the next answer
// of the queue; messages take none.
struct TDialogAnswer {
  TDialogKind Kind = TDialogKind::Confirmation;  // the dialog this answer is meant for
  bool Accept = false;                           // Yes / OK / a file chosen; false = No / Cancel
  QString Text;                                  // input text or file name when accepted

  static TDialogAnswer Yes() { return {TDialogKind::Confirmation, true, {}}; }
  static TDialogAnswer No() { return {TDialogKind::Confirmation, false, {}}; }
  static TDialogAnswer Input(const QString& text) { return {TDialogKind::Input, true, text}; }
  static TDialogAnswer InputCancel() { return {TDialogKind::Input, false, {}}; }
  static TDialogAnswer OpenFile(const QString& name) { return {TDialogKind::OpenFile, true, name}; }
  static TDialogAnswer SaveFile(const QString& name) { return {TDialogKind::SaveFile, true, name}; }
  static TDialogAnswer FileCancel(TDialogKind kind) { return {kind, false, {}}; }
};

// One dialog as it was shown (scripted mode).
struct TDialogRecord {
  TDialogKind Kind = TDialogKind::Information;
  QString Caption;         // window caption (input boxes, file dialogs) or the message box caption
  QString Text;            // message, question or prompt, exactly as the program passed it
  bool Answered = true;    // false: a question found no answer of its kind queued and got No / Cancel
  bool Accepted = false;   // the answer given: Yes / OK / a file
};

// Settings of a file dialog.
struct TFileDialogOptions {
  QString Title;       // caption; empty = the toolkit's
  QString Filter;      // "Description|*.ext|..." pairs as the program's components give them
  QString DefaultExt;  // extension added to a name typed without one, without the dot
  QString FileName;    // initial file name
};

class QPrinter;

class TDialogService {
public:
  static TDialogService& Instance();  // the one service of the process

  // Confirmation box with Yes and No; true when the answer is Yes.
  bool Confirm(const QString& text);
  // Information message with OK (the text may use "\r" for a line break).
  void ShowMessage(const QString& text);
  // Error message with OK.
  void ShowError(const QString& text);
  // Input box: true and `value` (IN: default text, OUT: the entered text) on OK.
  bool InputQuery(const QString& caption, const QString& prompt, QString& value);
  // File dialog of kind OpenFile or SaveFile; true and `fileName` (OUT) when a file is chosen.
  bool ExecuteFileDialog(TDialogKind kind, const TFileDialogOptions& options, QString& fileName);
  // Print preview titled `caption` whose pages `paint` draws onto the printer it is given
  // (also when the user prints from the preview). `paint` is kept while the preview is open;
  // scripted, the preview is recorded with `text` and not shown.
  void ShowPreview(const QString& caption, const QString& text, std::function<void(QPrinter& printer)> paint);

  // Scripted mode: no real dialog is shown; questions are answered from the queue.
  void SetScripted(bool value) { Scripted_ = value; }
  bool Scripted() const { return Scripted_; }
  void Enqueue(const TDialogAnswer& answer) { Answers_.push_back(answer); }
  std::size_t PendingAnswers() const { return Answers_.size(); }
  const std::vector<TDialogRecord>& Shown() const { return Shown_; }
  // Forgets the queue and the record.
  void Clear();

private:
  TDialogService() = default;
  // Scripted mode: records the dialog and gives the next answer of its kind, or a refusal.
  TDialogAnswer Script(TDialogKind kind, const QString& caption, const QString& text);

  bool Scripted_ = false;              // answer from the queue instead of showing dialogs
  std::deque<TDialogAnswer> Answers_;  // queued answers, first = next
  std::vector<TDialogRecord> Shown_;   // dialogs shown in scripted mode, in order
};

inline TDialogService& DialogService() { return TDialogService::Instance(); }

// Delphi-style shorthands over the service.
inline bool ConfirmYesNo(const QString& text) { return DialogService().Confirm(text); }
inline void ShowMessage(const QString& text) { DialogService().ShowMessage(text); }
// The entered text, or `defaultText` when the box is cancelled.
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText);

// The open and save dialog components of a window: settings plus Execute.
class TOpenDialog {
public:
  virtual ~TOpenDialog() = default;
  const QString& DefaultExt() const { return Options_.DefaultExt; }
  void SetDefaultExt(const QString& value) { Options_.DefaultExt = value; }
  const QString& Filter() const { return Options_.Filter; }
  void SetFilter(const QString& value) { Options_.Filter = value; }
  const QString& Title() const { return Options_.Title; }
  void SetTitle(const QString& value) { Options_.Title = value; }
  const QString& FileName() const { return Options_.FileName; }
  void SetFileName(const QString& value) { Options_.FileName = value; }
  // Shows the dialog; true when a file was chosen, which FileName then holds.
  bool Execute();

protected:
  virtual TDialogKind Kind() const { return TDialogKind::OpenFile; }

private:
  TFileDialogOptions Options_;  // the component's settings and last chosen file
};

class TSaveDialog : public TOpenDialog {
protected:
  TDialogKind Kind() const override { return TDialogKind::SaveFile; }
};
