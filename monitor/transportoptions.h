#pragma once

#include <QString>

class QSslCertificate;

// How a server is reached beyond its address and port: through which proxy, how it is told who
// the user is, and which certificates it is trusted with. The polls and the commands of a server
// use the same options.
struct TransportOptions
{
    enum class ProxyMode { System, None, Manual };
    enum class AuthMethod { Basic, Digest, Kerberos, Ntlm };

    // System: what http_proxy, https_proxy and no_proxy say, as curl reads them.
    ProxyMode proxyMode = ProxyMode::System;
    QString proxyAddress; // "host:port" or a URL such as "http://proxy.example:3128"
    QString proxyUser; // empty: the proxy is not given credentials
    QString proxyPassword;
    // Basic goes with the first request; the others answer the server's challenge. Kerberos uses
    // the user's ticket and no password.
    AuthMethod authMethod = AuthMethod::Basic;
    // false: certificates with errors are accepted without verification.
    bool verifyPeer = true;
    QString caFile; // PEM; empty: the system's certificate authorities
    QString clientCertFile; // PEM, for servers that require a client certificate
    QString clientKeyFile; // PEM; empty: the key is in the certificate file
    // "sha256//BASE64" of the server's public key, trusted in place of the CAs: a certificate the
    // user chose to trust.
    QString pinnedPublicKey;

    friend bool operator==(const TransportOptions& a, const TransportOptions& b)
    {
        return a.proxyMode == b.proxyMode && a.proxyAddress == b.proxyAddress && a.proxyUser == b.proxyUser
            && a.proxyPassword == b.proxyPassword && a.authMethod == b.authMethod
            && a.verifyPeer == b.verifyPeer && a.caFile == b.caFile && a.clientCertFile == b.clientCertFile
            && a.clientKeyFile == b.clientKeyFile && a.pinnedPublicKey == b.pinnedPublicKey;
    }
    friend bool operator!=(const TransportOptions& a, const TransportOptions& b) { return !(a == b); }
};

// curl's pin of a certificate's public key: "sha256//" and the Base64 of the SHA-256 of its
// SubjectPublicKeyInfo (DER), the form TransportOptions::pinnedPublicKey takes. Empty for a null
// certificate.
QString publicKeyPin(const QSslCertificate& certificate);
