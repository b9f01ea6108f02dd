#include "ui/ValueDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
}  // namespace

ValueDialog::ValueDialog(QWidget* owner, const ValueDialogForm& form, const LineGetter& line)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(Q(line(form.base + "Caption", 0)));
  setSizeGripEnabled(false);
  const QFontMetrics fm(font());

  label_ = new QLabel(this);
  label_->setTextFormat(Qt::PlainText);
  label_->setContentsMargins(0, 0, 0, 0);
  label_->setText(Q(line(form.base + "Notice", 0)));

  edit_ = new QLineEdit(this);
  edit_->setText(form.initialText);
  edit_->setMaxLength(form.maxLength);
  edit_->setAttribute(Qt::WA_InputMethodEnabled, false);

  ok_ = new QPushButton(Q(line(form.base + "Buttons", 0)), this);
  cancel_ = new QPushButton(Q(line(form.base + "Buttons", 1)), this);
  if (form.withMinimums) {
    setTabOrder(edit_, cancel_);
    setTabOrder(cancel_, ok_);
  } else {
    setTabOrder(edit_, ok_);
    setTabOrder(ok_, cancel_);
  }

  ui::DialogMetrics m;
  m.charHeight = fm.height();
  m.labelWidth = fm.horizontalAdvance(label_->text());
  m.labelHeight = fm.height();
  m.wwWidth = fm.horizontalAdvance(QStringLiteral("WW"));
  m.editWidth = fm.horizontalAdvance(form.widthTemplate);
  m.editHeight = fm.height();  // text height does not depend on the text
  m.buttonWidth = fm.horizontalAdvance(Q(line(form.base + "SizeOfButtons", 0)));
  m.okCaptionHeight = fm.height();
  layout_ = ui::ComputeDialogLayout(m, form.withMinimums);

  auto place = [](QWidget* w, const ui::Rect& r) { w->setGeometry(r.left, r.top, r.width, r.height); };
  place(label_, layout_.label);
  place(edit_, layout_.edit);
  place(ok_, layout_.ok);
  place(cancel_, layout_.cancel);
  setFixedSize(layout_.windowWidth, layout_.windowHeight);

  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  cancel_->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (okHandler_) okHandler_();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}
