#pragma once

#include <QSslCertificate>
#include <QString>

// The certificate a server showed when its check failed, in the forms the user compares and the
// settings keep.
struct PeerCertificate
{
    QSslCertificate certificate; // null: none was seen
    QString sha256Fingerprint; // "AB:01:...", as browsers show it
    QString publicKeyPin; // curl's "sha256//..." (publicKeyPin()), for TransportOptions::pinnedPublicKey
    // A public key was pinned and the server's is another one: the certificate changed.
    bool changed = false;
};
