#include "monitor/transportoptions.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslKey>

QString publicKeyPin(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return {};
    // Qt writes a public key as "BEGIN PUBLIC KEY": its DER is the SubjectPublicKeyInfo.
    const QByteArray subjectPublicKeyInfo = certificate.publicKey().toDer();
    if (subjectPublicKeyInfo.isEmpty())
        return {};
    return QLatin1String("sha256//")
        + QString::fromLatin1(
            QCryptographicHash::hash(subjectPublicKeyInfo, QCryptographicHash::Sha256).toBase64());
}
