#include "platform/tray/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/dialogs/EventHandler.h"

TSingleInstance::TSingleInstance() = default;

TSingleInstance::~TSingleInstance()
{
    Release();
}

bool TSingleInstance::Claimed() const
{
    return server_ && server_->isListening();
}

bool TSingleInstance::Claim(const std::string& name)
{
    Release();
    const QString qname = QString::fromStdString(name);
    {
        QLocalSocket probe;
        probe.connectToServer(qname);
        if (probe.waitForConnected(1000)) {
            probe.write("1", 1);
            probe.waitForBytesWritten(1000);
            probe.disconnectFromServer();
            return false;
        }
    }
    // Nobody answers: a socket file left by a copy that died is taken over.
    QLocalServer::removeServer(qname);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(qname)) {
        server_.reset();
        return true; // no channel to be had: never stop a copy for want of it
    }
    ConnectHandler(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            ConnectHandler(s, &QLocalSocket::disconnected, s, [s] { s->deleteLater(); });
            if (OnMessage)
                OnMessage(this);
        }
    });
    return true;
}

void TSingleInstance::Release()
{
    if (server_) {
        server_->close();
        server_.reset();
    }
}

std::string TSingleInstance::NameFor(const std::string& prefix, const std::string& key)
{
    QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1);
    return prefix + "-" + hash.toHex().left(24).toStdString();
}
