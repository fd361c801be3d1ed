#include "ErrorPresenter.h"

#include <QMessageBox>
#include <QString>

namespace kelo {

void MessageBoxErrorPresenter::present(const Error &error, const std::filesystem::path &file) {
    // The C library describes the error in the user's language and codeset.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelo"),
                    QString::fromLocal8Bit(error.description), QMessageBox::Ok, m_parent);
    box.setInformativeText(QString::fromLocal8Bit(file.filename().native()));
    box.exec();
}

} // namespace kelo
