#pragma once
// Writing a file so that a failure never costs the old one. The bytes go to a
// temporary file beside the target; only when every write, the flush to disk
// and the close succeeded is it renamed over the target. On any failure the
// temporary file is removed and the target keeps what it held.
//
// QSaveFile is not enough: its buffered write reports success, the flush in
// commit() fails with ENOSPC, and the empty temporary file is renamed over
// the target all the same.
//
// A target that exists and is not a regular file (/dev/null, /dev/full, a
// pipe) has no contents to lose: it is written directly, every write still
// checked. So is the target "-", the process's standard output.
#include <QIODevice>
#include <QString>
#include <functional>

namespace scrivane {

// The target that names the process's standard output.
inline const QString kStandardOutput = QStringLiteral("-");

// Test seam: called before every write with the target's path and the
// number of bytes; a nonzero errno (ENOSPC, EIO) makes that write fail as a
// full or broken disk would. Empty: no write fails. Affects every
// ReplacingFile of the process.
using WriteFailureHook = std::function<int(const QString &targetPath, qint64 bytes)>;
void SetWriteFailureHook(WriteFailureHook hook);

// What open() does with a target that is a symbolic link.
enum class LinkPolicy {
  Follow,  // write the file it leads to: settings kept as a link to dotfiles
  Refuse,  // write nothing: a file written beside an input (a form's .DDT, its
           // image) must not reach whatever a planted link points to
};

class ReplacingFile : public QIODevice {
 public:
  explicit ReplacingFile(QString targetPath, LinkPolicy links = LinkPolicy::Follow);
  ~ReplacingFile() override;  // an uncommitted file is discarded
  ReplacingFile(const ReplacingFile &) = delete;
  ReplacingFile &operator=(const ReplacingFile &) = delete;

  // Creates the temporary file (mode: the target's, or the default for new
  // files). Only WriteOnly is supported. False with errorText() set.
  bool open(OpenMode mode = WriteOnly) override;
  // Asks the disk to start on everything written so far, without waiting.
  void startSync();
  // open() leaves the folder's leftover temporary files alone: the caller
  // writing many files into one folder has removed them once for all
  // (RemoveStaleTemporaryFiles), where each open listing the folder again
  // made a book of 2,000 pages list it 2,000 times.
  void leaveLeftoversAlone() { sweepLeftovers_ = false; }
  // Makes everything written so far safe on disk, without putting it in
  // place: files that are all synced before any of them is renamed share
  // the disk's work (the first sync's journal commit holds the others'
  // blocks too), and none replaces its target unless all could be written.
  // False, with errorText() set, when this or any earlier step failed.
  bool sync();
  // Puts the written bytes in place. False, with the target unchanged and
  // errorText() set, when this or any earlier step failed. FolderSync::Later:
  // the caller syncs the folder once for several files (SyncFolderOf).
  enum class FolderSync { Now, Later };
  bool commit(FolderSync folder = FolderSync::Now);
  // Drops what was written; the target keeps what it held.
  void discard();

  bool isSequential() const override { return true; }
  const QString &targetPath() const { return target_; }
  // The system's reason for the first failure ("No space left on device"),
  // or why the target was refused ("it is a symbolic link to /etc/passwd").
  QString failureReason() const { return reason_; }
  // open() refused the target for what it is (a link, a pipe), with the
  // reason in failureReason(); nothing was touched.
  bool refused() const { return refused_; }
  // "Unable to write to <absolute target path>: <reason>".
  QString errorText() const;

 protected:
  qint64 readData(char *, qint64) override { return -1; }
  qint64 writeData(const char *data, qint64 size) override;

 private:
  void Fail(int error);
  void CloseDescriptor();

  QString target_;  // as given
  LinkPolicy links_;
  bool sweepLeftovers_ = true;
  bool refused_ = false;
  QString writeTo_;    // the target with its symbolic links followed
  QString temporary_;  // empty when writing directly
  int descriptor_ = -1;
  // Bytes written, and how many of them the disk has been asked to take.
  qint64 written_ = 0, flushing_ = 0;
  qint64 synced_ = -1;   // written_ when sync() last made it safe
  int signalSlot_ = -1;  // the temporary file, as noted for the signal handler
  QString reason_;
};

// Makes the renames inside the folder holding `path` safe on disk.
void SyncFolderOf(const QString &path);

// Writes `bytes` to `path` through a ReplacingFile. False with `reason`.
bool ReplaceFileContents(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

}  // namespace scrivane
