// One value entry dialog (COM port, IP address, TCP port), built in code from
// a plain dialog, a label, an edit field and two buttons. Texts come from the
// overlay sections <base>Caption, <base>Notice, <base>Buttons and
// <base>SizeOfButtons; sizes are measured with the dialog's own (default)
// font and placed by ui::ComputeDialogLayout.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "ui/Layout.h"

class QLabel;
class QLineEdit;
class QPushButton;

struct ValueDialogForm {
  std::string base;            // e.g. "GI_AppInd_Opt_ComSel_"
  QString initialText;
  int maxLength;
  QString widthTemplate;       // sizes the edit field (its height is the text height)
  bool withMinimums;           // IP address and TCP port dialogs
};

class ValueDialog : public QDialog {
  Q_OBJECT
 public:
  using LineGetter = std::function<std::string(const std::string& key, int index)>;

  ValueDialog(QWidget* owner, const ValueDialogForm& form, const LineGetter& line);

  QLineEdit* Edit() const { return edit_; }
  QLabel* Label() const { return label_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  const ui::DialogLayout& Layout() const { return layout_; }

  // Run on the OK button (Enter); the handler closes the dialog itself.
  void SetOkHandler(std::function<void()> handler) { okHandler_ = std::move(handler); }

 private:
  QLabel* label_;
  QLineEdit* edit_;
  QPushButton* ok_;
  QPushButton* cancel_;
  ui::DialogLayout layout_{};
  std::function<void()> okHandler_;
};
