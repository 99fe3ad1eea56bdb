#pragma once
// Moves values between a window's members and its controls, step by step in the order they
// were added. Writing puts each member into its control, touching a control only where its
// value differs; reading takes every control back into its member. No step validates, so an
// exchange never fails.
//
// While an exchange runs, InProgress() is true: the window's change handlers check it and do
// nothing, so a change that the exchange itself writes into a control runs no handler.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class QAbstractButton;
class QLabel;
class QLineEdit;

namespace ui {

class DataExchange {
 public:
  // Runs `attach` at the first exchange only: ties a member to its existing control.
  void AddBinding(std::function<void()> attach);
  // A check box's state as 0 (clear) or 1 (ticked).
  void AddCheck(QAbstractButton* box, int32_t* member);
  void AddText(QLineEdit* field, QString* member);
  void AddText(QLabel* text, QString* member);

  // false: members into controls; true: controls into members. Returns true.
  bool UpdateData(bool saveAndValidate);
  bool InProgress() const { return m_depth > 0; }

 private:
  std::vector<std::function<void(bool save)>> m_steps;
  int m_depth = 0;
};

}  // namespace ui
