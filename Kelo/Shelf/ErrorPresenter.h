#pragma once

#include <filesystem>

#include "Error.h"

class QWidget;

namespace kelo {

// Shows the user the error of an action on a file, modally: returns when the user has read it.
class ErrorPresenter {
public:
    virtual ~ErrorPresenter() = default;
    virtual void present(const Error &error, const std::filesystem::path &file) = 0;
};

// A modal message box whose text is the error's own description, with the file's name beneath.
class MessageBoxErrorPresenter : public ErrorPresenter {
public:
    explicit MessageBoxErrorPresenter(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    void present(const Error &error, const std::filesystem::path &file) override;

private:
    QWidget *m_parent;
};

} // namespace kelo
