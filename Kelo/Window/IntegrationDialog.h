#pragma once

#include "FileManagerIntegration.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;

namespace kelo {

// Which file managers are on this computer and whether Kelo's menu is in each, with a button per
// file manager that puts the menu in, or takes it out of, the user's own folders.
class IntegrationDialog : public QDialog {
    Q_OBJECT

public:
    // `reportError` shows a failed install or removal; by default a warning box.
    explicit IntegrationDialog(FileManagerIntegration integration, QWidget *parent = nullptr,
                               std::function<void(const QString &)> reportError = {});

    void refresh();

private:
    struct Row {
        FileManager fileManager;
        QLabel *status;
        QPushButton *button;
    };

    void toggle(const Row &row);
    QString statusText(const FileManagerState &state) const;

    FileManagerIntegration m_integration;
    std::function<void(const QString &)> m_reportError;
    std::vector<Row> m_rows;
};

} // namespace kelo
