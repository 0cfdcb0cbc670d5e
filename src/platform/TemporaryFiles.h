#pragma once
// The temporary files a ReplacingFile writes beside its target, and what
// becomes of them when the process does not end normally. A file left by a
// run ended with Ctrl-C, a kill or a crash can hold megabytes and stays
// hidden beside the user's PDF; the command-line program removes its own on
// SIGINT, SIGTERM and SIGHUP, and the next write into the same folder removes
// those left by earlier runs.
#include <QByteArray>
#include <QString>

namespace scrivane {

// The hidden temporary name for `target` with the given eight-hex-digit
// tag: ".NAME.XXXXXXXX.tmp" in the target's folder, NAME cut (at a
// character's end) so that the name stays within the file system's limit
// of 255 bytes even when the target's own name is near it.
QString TemporaryNameFor(const QString &target, quint32 tag);

// True for the names TemporaryNameFor gives, whatever the target and tag.
bool IsTemporaryName(QStringView name);

// Removes the temporary files in `target`'s folder (of any target) that no
// process holds locked and that went unwritten for a few seconds: the
// leftovers of runs that were killed (kill -9, a crash). A file another
// run is writing is locked (LockTemporaryFile) and kept. Returns how many
// were removed.
int RemoveStaleTemporaryFiles(const QString &target);

// Locks a temporary file just made, for as long as `descriptor` stays open:
// what RemoveStaleTemporaryFiles looks for. False when it cannot be locked.
bool LockTemporaryFile(int descriptor);

// Notes a temporary file the signal handler must remove; a slot number to
// forget it by, or -1 when every slot is taken (the file is then only not
// removed on a signal).
int NoteTemporaryFile(const QString &path);
void ForgetTemporaryFile(int slot);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the noted
// temporary files, then end the process as the signal would have; and
// ignores SIGXFSZ, so that a file-size limit is a write error.
void RemoveTemporaryFilesOnSignals();

// Where an allocation fails inside code that may not throw (Qt's hash
// insertion is noexcept), the process would abort with a core. Installs a
// terminate handler that, for an allocation failure, writes `message` and a
// line feed to stderr, removes the noted temporary files and exits with
// status 1; any other fault aborts as before. Called again, replaces the
// message.
void ExitOnAllocationFailure(const QByteArray &message);

}  // namespace scrivane
