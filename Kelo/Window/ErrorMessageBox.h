#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <utility>

#include "ErrorPresenter.h"

namespace kelo {

// A message box whose text is the error's own description, with the file's name beneath. It opens
// and returns at once: no event loop of its own inside a menu action. Errors that come while one
// is shown wait their turn, so a clean-up with many failures shows them one after another.
class ErrorMessageBox : public ErrorPresenter {
public:
    explicit ErrorMessageBox(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    void present(const Error &error, const std::filesystem::path &file) override;

    // The box on screen, if any (tests).
    QMessageBox *shown() const { return m_shown; }
    std::size_t waiting() const { return m_waiting.size(); }

private:
    void showNext();

    QPointer<QWidget> m_parent;
    QPointer<QMessageBox> m_shown;
    std::deque<std::pair<QString, QString>> m_waiting;
};

} // namespace kelo
