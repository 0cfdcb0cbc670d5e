#pragma once
// The temporary files a ReplacingFile writes beside its target, and what
// becomes of them when the process does not end normally. A file left by a
// run ended with Ctrl-C, a kill or a crash can hold megabytes and stays
// hidden beside the user's PDF; the command-line program removes its own on
// SIGINT, SIGTERM and SIGHUP, and the next write to the same target removes
// those left by earlier runs.
#include <QByteArray>
#include <QString>

namespace scrivane {

// The hidden temporary name for `target` with the given eight-hex-digit
// tag: ".NAME.XXXXXXXX.tmp" in the target's folder, NAME cut (at a
// character's end) so that the name stays within the file system's limit
// of 255 bytes even when the target's own name is near it.
QString TemporaryNameFor(const QString &target, quint32 tag);

// Removes temporary files of `target` (the names TemporaryNameFor gives,
// whatever the tag) last written before this process started: the leftovers
// of runs that were killed. A file another running process is writing has
// been written since and is kept. Returns how many were removed.
int RemoveStaleTemporaryFiles(const QString &target);

// Notes a temporary file the signal handler must remove; a slot number to
// forget it by, or -1 when every slot is taken (the file is then only not
// removed on a signal).
int NoteTemporaryFile(const QString &path);
void ForgetTemporaryFile(int slot);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the noted
// temporary files, then end the process as the signal would have.
void RemoveTemporaryFilesOnSignals();

}  // namespace scrivane
