#pragma once
// Database files as the operating system sees them, outside SQLite.
//
// - Their first bytes, read without ever closing a descriptor of a file that
//   SQLite may hold locks on. On Linux, closing any descriptor of a file
//   drops every POSIX lock the process holds on it, SQLite's included; a
//   connection that silently lost its locks lets the next program that
//   closes the register delete its -wal under it. So the header is read
//   through one descriptor per file that stays open while the file exists
//   (a handful at most: the register and Tarnwell's files); once the file is
//   deleted nobody can open it again, and the descriptor is let go.
// - The kind of drive they live on. A register on a network or user-space
//   filesystem cannot use WAL (no shared memory across desks, or none at
//   all) and is kept with a rollback journal instead; see docs/storage.md.
#include <QByteArray>
#include <QString>

namespace dbfile {

// Up to `bytes` bytes from the start of the file (fewer for a shorter one).
// False with the system's reason when the file cannot be read.
bool readHead(const QString &hostPath, int bytes, QByteArray *head, QString *error);

struct Drive {
    bool shared = false; // network or user-space filesystem
    QString kind;        // "NFS", "SMB/CIFS", "9p", "FUSE", ...; empty for a local disk
};
// The drive that holds the file (or the folder it would be created in).
Drive driveOf(const QString &hostPath);

// A file in WAL gets its -wal and -shm from whichever program opens it
// first, with that user's group; desks that share the register through the
// file's group could then not open them. Gives the side files this user
// made the database file's group (by name: no descriptor is opened or
// closed, so no lock is lost).
void shareSideFiles(const QString &hostPath);
// Why this user cannot open the -wal or -shm beside a database file (made by
// another user, in a group this user is not in); empty when it can.
QString sideFileProblem(const QString &hostPath);

// Removes a database file this program made and abandoned, with its -wal
// and -shm.
void removeWithSideFiles(const QString &hostPath);

} // namespace dbfile
