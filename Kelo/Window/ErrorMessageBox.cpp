#include "ErrorMessageBox.h"

#include <QMessageBox>

namespace kelo {

void ErrorMessageBox::present(const Error &error, const std::filesystem::path &file) {
    // The C library describes the error in the user's language and codeset.
    m_waiting.emplace_back(QString::fromLocal8Bit(error.description),
                           QString::fromLocal8Bit(file.filename().native()));
    if (!m_shown)
        showNext();
}

void ErrorMessageBox::showNext() {
    if (m_waiting.empty())
        return;
    auto [text, name] = std::move(m_waiting.front());
    m_waiting.pop_front();
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelo"), text, QMessageBox::Ok,
                                m_parent);
    box->setInformativeText(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_shown = box;
    QObject::connect(box, &QMessageBox::finished, box, [this] {
        m_shown = nullptr;
        showNext();
    });
    box->open();
}

} // namespace kelo
