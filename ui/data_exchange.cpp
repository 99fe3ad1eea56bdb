#include "ui/data_exchange.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

namespace ui {

namespace {

template <typename Control>
void ExchangeText(Control* control, QString* member, bool save) {
  if (save)
    *member = control->text();
  else if (control->text() != *member)
    control->setText(*member);
}

}  // namespace

void DataExchange::AddBinding(std::function<void()> attach) {
  m_steps.push_back([attach = std::move(attach), bound = false](bool) mutable {
    if (bound) return;
    bound = true;
    attach();
  });
}

void DataExchange::AddCheck(QAbstractButton* box, int32_t* member) {
  m_steps.push_back([box, member](bool save) {
    if (save)
      *member = box->isChecked() ? 1 : 0;
    else
      box->setChecked(*member != 0);
  });
}

void DataExchange::AddText(QLineEdit* field, QString* member) {
  m_steps.push_back([field, member](bool save) { ExchangeText(field, member, save); });
}

void DataExchange::AddText(QLabel* text, QString* member) {
  m_steps.push_back([text, member](bool save) { ExchangeText(text, member, save); });
}

bool DataExchange::UpdateData(bool saveAndValidate) {
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } inExchange(m_depth);
  for (const auto& step : m_steps) step(saveAndValidate);
  return true;
}

}  // namespace ui
