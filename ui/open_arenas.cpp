#include "ui/open_arenas.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QUuid>

namespace karnwick::balance {

namespace {

const QString kFilePattern = QStringLiteral("arena-*.lock");

QString& chosenFolder() {
    static QString folder;
    return folder;
}

}  // namespace

QString openArenasFolder() {
    if (!chosenFolder().isEmpty()) return chosenFolder();
#ifdef Q_OS_WIN
    // Windows has no runtime folder (Qt names the home folder): the user's
    // local application data, beside the demo set.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/karnwick/arenas");
#else
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/karnwick-arenas");
#endif
}

void setOpenArenasFolder(const QString& folder) {
    chosenFolder() = folder;
}

ArenaPresence::ArenaPresence() {
    const QString folder = openArenasFolder();
    if (!QDir().mkpath(folder)) return;
    // One name per presence, so two in one process (tests) do not collide.
    const QString name = QStringLiteral("arena-%1-%2.lock")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QUuid::createUuid().toString(QUuid::Id128));
    m_lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + name);
    // An arena may run for days: its lock is stale only once it has died.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) m_lock.reset();
}

ArenaPresence::~ArenaPresence() = default;

int countOpenArenas() {
    const QDir folder(openArenasFolder());
    int open = 0;
    for (const QString& name : folder.entryList({kFilePattern}, QDir::Files | QDir::Hidden)) {
        QLockFile probe(folder.filePath(name));
        probe.setStaleLockTime(0);
        // Taking the lock succeeds only where its arena has gone; giving it
        // back then removes the file.
        if (probe.tryLock(0)) {
            probe.unlock();
        } else if (probe.error() == QLockFile::LockFailedError) {
            ++open;
        }
    }
    return open;
}

}  // namespace karnwick::balance
