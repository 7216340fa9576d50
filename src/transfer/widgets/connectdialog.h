// kelconnect's window: the four fields of a connection and the file to
// write them to.
#pragma once

#include "app/result.h"
#include "transfer/connectionfile.h"

#include <QDialog>

class QLineEdit;

namespace kel {

class ConnectDialog : public QDialog
{
public:
    explicit ConnectDialog(QWidget *parent = nullptr);

    Connection connection() const;
    void setConnection(const Connection &connection);
    QString fileName() const;
    void setFileName(const QString &name);

    // Writes the file (".cnx" appended to a name without "."); refused with
    // the reason for a missing server or file name, a field that cannot be
    // stored, or a file that cannot be written. Shows nothing.
    Result<std::string> save();

private:
    void browse();
    void saveClicked();

    QLineEdit *m_host;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_folder;
    QLineEdit *m_file;
};

} // namespace kel
