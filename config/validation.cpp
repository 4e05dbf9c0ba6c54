#include "app/tarvix.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QSslSocket>

namespace {

bool isUsablePattern(const QString& pattern)
{
    return !pattern.isEmpty() && QRegularExpression(pattern).isValid();
}

} // namespace

bool Tarvix::isConfigOk()
{
    const auto reject = [this](const QString& text, int tab, QWidget* focus) {
        QMessageBox::warning(
            this, tr("Tarvix: configuration error"), text, QMessageBox::Ok, QMessageBox::NoButton);
        ui.tabConfig->setCurrentIndex(tab);
        focus->setFocus(Qt::OtherFocusReason);
        return false;
    };

    if (ui.edServerAddress->text().isEmpty())
        return reject(tr("No server address of Nagios found."), 0, ui.edServerAddress);

    if (ui.edServerPort->text().isEmpty()) {
        QMessageBox::information(this, tr("Tarvix: warning"),
            tr("Server port is not specified and will be installed in the default."), QMessageBox::Ok,
            QMessageBox::NoButton);
        ui.edServerPort->setText(ui.cbUseHttps->isChecked() ? defaultHttpsPort : defaultHttpPort);
    } else {
        const int port = decimalOrZero(ui.edServerPort->text());
        if (port < 1 || port >= 65536)
            return reject(tr("Invalid server port number Nagios."), 0, ui.edServerPort);
    }

    if (ui.cbHostsRequest->isChecked() && ui.edHostsRequest->text().isEmpty())
        return reject(tr("No request for the status of hosts."), 0, ui.edHostsRequest);
    if (ui.cbServicesRequest->isChecked() && ui.edServicesRequest->text().isEmpty())
        return reject(tr("No request for the status of services."), 0, ui.edServicesRequest);
    if (ui.cbUseHTTPAuth->isChecked() && ui.edLogin->text().isEmpty())
        return reject(tr("Not specified HTTP username."), 0, ui.edLogin);
    if (ui.cbUseHTTPAuth->isChecked() && ui.edPassword->text().isEmpty())
        return reject(tr("Not specified HTTP password."), 0, ui.edPassword);

    if (ui.cbHostsRegExp->isChecked() && !isUsablePattern(ui.edHostsRegExp->text()))
        return reject(
            tr("Not a valid regular expression to analyze the status of hosts."), 3, ui.edHostsRegExp);
    if (ui.cbSrvcsRegExp->isChecked() && !isUsablePattern(ui.edSrvcsRegExp->text()))
        return reject(
            tr("Not a valid regular expression to analyze the status of services."), 3, ui.edSrvcsRegExp);

    if (ui.rbBaseRegExpConfig->isChecked()) {
        if (!ui.cbHostDownStat->isChecked() && !ui.cbHostUnreachStat->isChecked())
            return reject(tr("Not specified no status for the host!"), 3, ui.frameBasicRegExpConf);
        if (!ui.cbServiceCritStat->isChecked() && !ui.cbServiceWarnStat->isChecked()
            && !ui.cbServiceUnknownStat->isChecked())
            return reject(tr("Not specified no status for the service!"), 3, ui.frameBasicRegExpConf);
    }

    if (ui.cbUseHttps->isChecked() && !QSslSocket::supportsSsl()) {
        return reject(QStringLiteral("<font>")
                + tr("You can obtain the necessary libraries for work using HTTPS can ")
                + tr("<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>.")
                + tr("The work using HTTPS is impossible now.</font>"),
            0, ui.cbUseHttps);
    }
    return true;
}
