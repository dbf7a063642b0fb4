// What the commands do when the disk, the chosen name or the file itself is hostile. Every case
// runs the real commands on real files in a folder of its own and checks the message shown, the
// document, and every file in the folder byte for byte, so a half-written file or a stray
// temporary file cannot go unnoticed.
#include "document_commands.h"
#include "fake_runtime.h"
#include "form1.h"
#include "process_signals.h"
#include "qt_runtime.h"
#include "test_files.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace zariza;
using namespace zariza::testing;

namespace {

// Thrown by a set-up step this machine cannot do; the case is skipped with the reason.
struct CaseSkipped {
    QString reason;
};

struct CaseFolder {
    QDir dir;
    QStringList mounts;    // unmounted when the case ends
    CurrentFolder current; // where the preview goes
};

using Step = std::function<void(CaseFolder &)>;

enum class RunIn {
    // A forked child, so a command that hangs or crashes fails the case instead of the suite.
    Child,
    FileSizeLimitedChild,
    AddressSpaceLimitedChild,
    UnprivilegedChild,
    // As user 1500 in group 2000, a colleague of nobody's in a group-shared folder.
    GroupMemberChild,
    // The real Qt launcher needs this process's platform connection.
    ThisProcessWithSystemLauncher,
};

struct Fault {
    QList<Step> plant;
    RunIn runIn = RunIn::Child;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceHeadroom = RLIM_INFINITY; // bytes the child may map beyond what it has
    // Runs once the dialog has closed, before the command touches the chosen file.
    std::function<void(const QString &chosen)> afterChoice;
    // Another local user at work in the folder while the commands run, until told to stop; the
    // messages shown then depend on timing, so only the files are compared.
    std::function<void(const QDir &, const std::atomic_bool &stop)> attacker;
};

enum class Command { Open, Save, Generate, Preview };

// "@/" in a name or message stands for the case folder.
struct Action {
    QString document = QStringLiteral("<p>文档</p>");
    QList<Command> commands;
    QStringList names; // what the dialog leaves, one per showing
};

struct Expected {
    QStringList boxes;
    std::optional<QString> document;   // unset: the document is left as it was
    QMap<QString, QByteArray> written; // every file not named here stays byte-identical
    QStringList removedByFault;
    QStringList launched;
    std::optional<qint64> launchWithinMs; // the system launcher was reached and returned in time
    QMap<QString, QString> owners;        // "uid:gid" of files afterwards
};

struct Outcome {
    QString skipped;
    QStringList boxes;
    QString document;
    QStringList launched;
    qint64 launchMs = -1;
    bool launcherReached = false;
};

QDataStream &operator<<(QDataStream &out, const Outcome &outcome) {
    return out << outcome.skipped << outcome.boxes << outcome.document << outcome.launched
               << outcome.launchMs << outcome.launcherReached;
}

QDataStream &operator>>(QDataStream &in, Outcome &outcome) {
    return in >> outcome.skipped >> outcome.boxes >> outcome.document >> outcome.launched >>
           outcome.launchMs >> outcome.launcherReached;
}

constexpr uid_t nobody = 65534;
constexpr qint64 mebibyte = 1024 * 1024;

const QByteArray yesterday = "the document saved yesterday\r\n";
// The default document as the program writes it: GBK and a closing CR LF.
const QByteArray documentBytes = "<p>\xce\xc4\xb5\xb5</p>\r\n";

const QString openFailed = QStringLiteral("文件打开失败！");
const QString saveFailed = QStringLiteral("文件保存失败！");
const QString generateFailed = QStringLiteral("文件生成失败！");
const QString previewFailed = QStringLiteral("预览文件写入失败！");
const QString notAPlainFile =
    QStringLiteral("这不是普通文件（可能是链接、文件夹或设备），没有写入");

QString box(BoxKind kind, const QString &title, const QString &prompt) {
    return QStringLiteral("[%1 %2] %3").arg(int(kind)).arg(title, prompt);
}

QString askedToOpen() {
    return box(BoxKind::Question, QStringLiteral("提示"),
               QStringLiteral("将清除原有代码确认打开？"));
}

QString saved() {
    return box(BoxKind::Notice, QStringLiteral("提示"), QStringLiteral("文件保存完成！"));
}

QString failure(const QString &what, const QString &path, const QString &reason) {
    return box(BoxKind::Failure, QStringLiteral("提示"),
               what + u'\n' + path + QStringLiteral("：") + reason);
}

QString inFolder(QString text, const QString &folder) {
    return text.replace(QStringLiteral("@/"), folder + u'/');
}

QStringList inFolder(QStringList texts, const QString &folder) {
    for (QString &text : texts)
        text = inFolder(text, folder);
    return texts;
}

[[noreturn]] void failStep(const QString &what) {
    throw std::runtime_error(what.toStdString() + ": " + std::strerror(errno));
}

QByteArray nativePath(const CaseFolder &folder, const QString &name) {
    return QFile::encodeName(folder.dir.filePath(name));
}

Step file(const QString &name, const QByteArray &bytes, mode_t mode = 0644) {
    return [=](CaseFolder &folder) {
        writeBytes(folder.dir.filePath(name), bytes);
        if (chmod(nativePath(folder, name), mode) != 0)
            failStep(QStringLiteral("chmod ") + name);
    };
}

// A file that takes no room on disk, however large.
Step sparseFile(const QString &name, qint64 size) {
    return [=](CaseFolder &folder) {
        QFile sparse(folder.dir.filePath(name));
        if (!sparse.open(QIODevice::WriteOnly) || !sparse.resize(size))
            failStep(QStringLiteral("sparse file ") + name);
    };
}

Step folder(const QString &name) {
    return [=](CaseFolder &folder) {
        if (!folder.dir.mkpath(name))
            failStep(QStringLiteral("mkdir ") + name);
    };
}

Step symbolicLink(const QString &name, const QString &target) {
    return [=](CaseFolder &folder) {
        if (symlink(QFile::encodeName(target), nativePath(folder, name)) != 0)
            failStep(QStringLiteral("symlink ") + name);
    };
}

Step hardLink(const QString &name, const QString &existing) {
    return [=](CaseFolder &folder) {
        if (link(nativePath(folder, existing), nativePath(folder, name)) != 0)
            failStep(QStringLiteral("link ") + name);
    };
}

Step fifo(const QString &name) {
    return [=](CaseFolder &folder) {
        if (mkfifo(nativePath(folder, name), 0644) != 0)
            failStep(QStringLiteral("mkfifo ") + name);
    };
}

Step owner(const QString &name, uid_t user, gid_t group) {
    return [=](CaseFolder &folder) {
        if (lchown(nativePath(folder, name), user, group) != 0)
            failStep(QStringLiteral("lchown ") + name);
    };
}

// An extended attribute, such as "system.posix_acl_access" or "user.origin".
Step attribute(const QString &name, const char *attributeName, const QByteArray &value) {
    return [=](CaseFolder &folder) {
        if (lsetxattr(nativePath(folder, name), attributeName, value.constData(), value.size(),
                      0) != 0)
            throw CaseSkipped{QStringLiteral("no extended attributes here: ") +
                              QString::fromLocal8Bit(std::strerror(errno))};
    };
}

// The ACL user::rw- user:nobody:rw- group::r-- mask::rw- other::--- as the kernel stores it.
const QByteArray aclWithNobody =
    QByteArray::fromHex("02000000 01000600ffffffff 02000600feff0000 04000400ffffffff "
                        "10000600ffffffff 20000000ffffffff");

// What a save killed long ago left, owned by `user`.
Step leftOver(const QString &name, uid_t user) {
    return [=](CaseFolder &folder) {
        file(name, "half")(folder);
        owner(name, user, 0)(folder);
        const timespec anHourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        if (utimensat(AT_FDCWD, nativePath(folder, name), anHourAgo, AT_SYMLINK_NOFOLLOW) != 0)
            failStep(QStringLiteral("utimensat ") + name);
    };
}

// The case folder made current, then removed and made anew: the editor still holds the old one.
Step removedCurrentFolder(const QString &name) {
    return [=](CaseFolder &folder) {
        if (!folder.dir.mkpath(name))
            failStep(QStringLiteral("make the current folder ") + name);
        folder.current.enter(folder.dir.filePath(name));
        if (!folder.dir.rmdir(name) || !folder.dir.mkpath(name))
            failStep(QStringLiteral("remove the current folder ") + name);
    };
}

// Puts a plain file and a link to another of the victim's files at Cs.htm by turns, as fast as it
// can, each by a rename, whatever the editor last left there.
void swapPreviewForLink(const QDir &dir, const std::atomic_bool &stop) {
    const QByteArray preview = QFile::encodeName(dir.filePath(QStringLiteral("Cs.htm")));
    const QByteArray spare = QFile::encodeName(dir.filePath(QStringLiteral(".spare")));
    for (bool link = true; !stop; link = !link) {
        if (link)
            symlink("victim.txt", spare);
        else
            close(open(spare, O_WRONLY | O_CREAT | O_TRUNC, 0644));
        rename(spare, preview);
    }
    unlink(preview);
}

// "." is the case folder itself.
Step permissions(const QString &name, mode_t mode) {
    return [=](CaseFolder &folder) {
        if (chmod(nativePath(folder, name), mode) != 0)
            failStep(QStringLiteral("chmod ") + name);
    };
}

// Mounts made after this stay private to the test process and vanish with it. Returns why that
// failed, or nothing.
QString enterPrivateMountNamespace() {
    static const QString failure = [] {
        if (unshare(CLONE_NEWNS) == 0 &&
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
            return QString();
        return QString::fromLocal8Bit(std::strerror(errno));
    }();
    return failure;
}

// A tmpfs of the given size: a disk that really runs out of space.
Step smallDisk(const QString &name, qint64 size) {
    return [=](CaseFolder &folder) {
        if (const QString failure = enterPrivateMountNamespace(); !failure.isEmpty())
            throw CaseSkipped{QStringLiteral("mounting a small disk needs root: ") + failure};
        if (!folder.dir.mkpath(name))
            failStep(QStringLiteral("mkdir ") + name);
        const QByteArray options = "mode=0755,size=" + QByteArray::number(size);
        if (mount("zariza-small-disk", nativePath(folder, name), "tmpfs", MS_NOSUID | MS_NODEV,
                  options.constData()) != 0)
            throw CaseSkipped{QStringLiteral("cannot mount a tmpfs: ") +
                              QString::fromLocal8Bit(std::strerror(errno))};
        folder.mounts.append(folder.dir.filePath(name));
    };
}

// The file `source` mounted alone over the file `name`: nothing can be renamed over `name`.
Step fileMountedAlone(const QString &name, const QString &source) {
    return [=](CaseFolder &folder) {
        if (const QString failure = enterPrivateMountNamespace(); !failure.isEmpty())
            throw CaseSkipped{QStringLiteral("mounting a file needs root: ") + failure};
        if (mount(nativePath(folder, source), nativePath(folder, name), nullptr, MS_BIND,
                  nullptr) != 0)
            failStep(QStringLiteral("bind-mount ") + name);
        folder.mounts.append(folder.dir.filePath(name));
    };
}

// Another user who opens every file that appears in the folder, as it appears. A descriptor on
// any of them is a leak (the only file there is the victim's private page): it leaves "leaked".
void readNewFilesAsAnotherUser(const QDir &dir, const std::atomic_bool &stop) {
    const QByteArray path = QFile::encodeName(dir.path()) + '/';
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, path, IN_CREATE | IN_MOVED_TO);
    syscall(SYS_setresuid, -1, 1600, -1); // this thread alone; the editor goes on as root
    bool leaked = false;
    alignas(inotify_event) char events[4096];
    for (pollfd ready{watch, POLLIN, 0}; !stop; poll(&ready, 1, 10)) {
        const ssize_t size = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            at += sizeof(inotify_event) + event->len;
            const int file = open(path + event->name, O_RDONLY | O_NONBLOCK);
            leaked |= file >= 0;
            close(file);
        }
    }
    syscall(SYS_setresuid, -1, 0, -1);
    close(watch);
    if (leaked)
        writeBytes(dir.filePath(QStringLiteral("leaked")), {});
}

// Writes until the disk is full.
Step fillDisk(const QString &name) {
    return [=](CaseFolder &folder) {
        const int fd = open(nativePath(folder, name), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            failStep(QStringLiteral("create ") + name);
        const QByteArray block(4096, 'f');
        while (write(fd, block.constData(), block.size()) > 0) {
        }
        const int writeErrno = errno;
        close(fd);
        if (writeErrno != ENOSPC) {
            errno = writeErrno;
            failStep(QStringLiteral("fill ") + name);
        }
    };
}

// As root, permission bits mean nothing: the case's files go to the user the child becomes.
void handToNobody(const QString &root) {
    if (geteuid() != 0)
        return;
    QStringList paths{root};
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &path : paths) {
        if (lchown(QFile::encodeName(path), nobody, nobody) != 0)
            failStep(QStringLiteral("lchown ") + path);
    }
}

// One line per entry, read without following links or opening FIFOs.
struct Entry {
    QString kind;
    mode_t mode = 0;
    QByteArray detail;     // SHA-256 of a file's bytes, a link's target
    QByteArray attributes; // a file's extended attributes, its ACL included

    QString toString() const {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(kind)
            .arg(mode, 4, 8, QLatin1Char('0'))
            .arg(QString::fromUtf8(detail), QString::fromUtf8(attributes));
    }
};

QByteArray attributesOf(const QByteArray &native) {
    QByteArray names(65536, '\0');
    names.resize(std::max<ssize_t>(0, llistxattr(native, names.data(), names.size())));
    QByteArrayList attributes;
    for (const QByteArray &name : names.split('\0')) {
        QByteArray value(65536, '\0');
        value.resize(std::max<ssize_t>(0, lgetxattr(native, name, value.data(), value.size())));
        if (!name.isEmpty())
            attributes.append(name + '=' + value.toHex());
    }
    std::sort(attributes.begin(), attributes.end());
    return attributes.join(',');
}

QByteArray sha256(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

Entry entryFor(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (lstat(native, &status) != 0)
        failStep(QStringLiteral("lstat ") + path);
    Entry entry{{}, status.st_mode & 07777, {}};
    if (S_ISREG(status.st_mode)) {
        entry.kind = QStringLiteral("file");
        // Without root, a file the case made unreadable is read with its mode lifted for a moment.
        const bool unreadable = access(native, R_OK) != 0;
        if (unreadable && chmod(native, status.st_mode | S_IRUSR) != 0)
            failStep(QStringLiteral("chmod ") + path);
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        const bool hashed = file.open(QIODevice::ReadOnly) && hash.addData(&file);
        if (unreadable)
            chmod(native, status.st_mode & 07777);
        if (!hashed)
            failStep(QStringLiteral("hash ") + path);
        entry.detail = hash.result().toHex();
        entry.attributes = attributesOf(native);
    } else if (S_ISLNK(status.st_mode)) {
        entry.kind = QStringLiteral("link");
        entry.detail = QFile::encodeName(QFile::symLinkTarget(path));
    } else if (S_ISDIR(status.st_mode)) {
        entry.kind = QStringLiteral("folder");
    } else if (S_ISFIFO(status.st_mode)) {
        entry.kind = QStringLiteral("fifo");
    } else {
        entry.kind = QStringLiteral("other");
    }
    return entry;
}

using Snapshot = QMap<QString, Entry>;

Snapshot snapshot(const QDir &dir) {
    Snapshot entries;
    QDirIterator it(dir.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(dir.relativeFilePath(path), entryFor(path));
    }
    return entries;
}

bool takeSnapshot(const QDir &dir, Snapshot *entries) {
    try {
        *entries = snapshot(dir);
        return true;
    } catch (const std::exception &error) {
        qWarning("%s", error.what());
        return false;
    }
}

QStringList lines(const Snapshot &entries) {
    QStringList lines;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        lines.append(it.key() + QStringLiteral(": ") + it.value().toString());
    return lines;
}

// A file the program writes anew is created as any new file is: 0666 less the umask.
Snapshot expectedAfter(Snapshot entries, const Expected &expected, mode_t umaskBits) {
    for (const QString &name : expected.removedByFault)
        entries.remove(name);
    for (auto it = expected.written.cbegin(); it != expected.written.cend(); ++it) {
        const auto old = entries.constFind(it.key());
        const mode_t mode = old != entries.cend() && old->kind == QStringLiteral("file")
                                ? old->mode
                                : (0666 & ~umaskBits);
        const QByteArray attributes = old != entries.cend() ? old->attributes : QByteArray();
        entries.insert(it.key(),
                       Entry{QStringLiteral("file"), mode, sha256(it.value()), attributes});
    }
    return entries;
}

// Shows scripted names, then lets the fault strike before the command reads the file.
class FileDialogWithHook : public ScriptedFileDialog {
public:
    std::function<void(const QString &chosen)> afterChoice;

    std::optional<QString> showOpen(const QString &title, const FileFilters &filters) override {
        return strike(ScriptedFileDialog::showOpen(title, filters));
    }
    std::optional<QString> showSave(const QString &title, const FileFilters &filters) override {
        return strike(ScriptedFileDialog::showSave(title, filters));
    }

private:
    std::optional<QString> strike(std::optional<QString> chosen) {
        if (afterChoice)
            afterChoice(chosen.value_or(QString()));
        return chosen;
    }
};

class FaultRuntime : public FakeRuntime {
public:
    FileDialogWithHook dialogWithHook;
    RuntimeServices *systemLauncher = nullptr;
    qint64 launchMs = -1;

    FileDialog &dakai() override { return dialogWithHook; }

    void shell(const QString &filePath) override {
        FakeRuntime::shell(filePath);
        if (!systemLauncher)
            return;
        QElapsedTimer timer;
        timer.start();
        try {
            systemLauncher->shell(filePath);
        } catch (const RuntimeError &) {
            launchMs = timer.elapsed();
            throw;
        }
        launchMs = timer.elapsed();
    }
};

Outcome runCommands(const Fault &fault, const Action &action, const CaseFolder &folder,
                    RuntimeServices *systemLauncher) {
    FaultRuntime runtime;
    runtime.answers = {Answer::Ok, Answer::Ok, Answer::Ok, Answer::Ok};
    for (const QString &name : action.names)
        runtime.dialogWithHook.names.push_back(inFolder(name, folder.dir.path()));
    runtime.folder = folder.current;
    runtime.dialogWithHook.afterChoice = fault.afterChoice;
    runtime.systemLauncher = systemLauncher;
    FakeTextBox text1(action.document);
    DocumentCommands commands(runtime, text1);

    for (const Command command : action.commands) {
        // As the window runs them: a failure nobody trapped still ends up in a message box.
        runEventProcedure(runtime, [&] {
            switch (command) {
            case Command::Open:
                commands.Command1_Click();
                break;
            case Command::Save:
                commands.Command3_Click();
                break;
            case Command::Generate:
                commands.Command5_Click();
                break;
            case Command::Preview:
                commands.Command4_Click();
                break;
            }
        });
    }

    Outcome outcome;
    for (const FakeRuntime::MsgBox &shown : runtime.boxes)
        outcome.boxes.append(box(shown.kind, shown.title, shown.prompt));
    outcome.document = text1.value;
    outcome.launched = runtime.launched;
    outcome.launchMs = runtime.launchMs;
    return outcome;
}

QString systemErrorText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

Outcome runConfined(const Fault &fault, const Action &action, const CaseFolder &folder) {
    if (fault.runIn == RunIn::FileSizeLimitedChild) {
        // Past the limit a write fails with EFBIG, the way it fails with ENOSPC on a full disk,
        // once the program has set itself up as it does at start.
        ignoreFileSizeSignal();
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = fault.fileSizeLimit;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return {QStringLiteral("cannot limit the file size: ") + systemErrorText()};
    }
    if (fault.runIn == RunIn::AddressSpaceLimitedChild) {
#ifdef ZARIZA_ALLOCATION_FAILURE_ENDS_PROCESS
        return {QStringLiteral("AddressSanitizer ends the process on a failed allocation")};
#endif
        // An allocation past the limit fails, as it does when memory runs out.
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return {QStringLiteral("cannot read /proc/self/statm")};
        const rlim_t mapped =
            statm.readAll().split(' ').front().toULongLong() * rlim_t(sysconf(_SC_PAGESIZE));
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = mapped + fault.addressSpaceHeadroom;
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            return {QStringLiteral("cannot limit the address space: ") + systemErrorText()};
    }
    if (fault.runIn == RunIn::UnprivilegedChild && geteuid() == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
            setresuid(nobody, nobody, nobody) != 0)
            return {QStringLiteral("cannot drop root privileges: ") + systemErrorText()};
        if (access(QFile::encodeName(folder.dir.path()), R_OK | X_OK) != 0)
            return {QStringLiteral("an unprivileged user cannot reach %1 (set TMPDIR elsewhere)")
                        .arg(folder.dir.path())};
    }
    if (fault.runIn == RunIn::GroupMemberChild) {
        const gid_t shared = 2000;
        if (geteuid() != 0)
            return {QStringLiteral("becoming another user needs root")};
        if (setgroups(1, &shared) != 0 || setresgid(1500, 1500, 1500) != 0 ||
            setresuid(1500, 1500, 1500) != 0)
            return {QStringLiteral("cannot become user 1500: ") + systemErrorText()};
    }
    if (!fault.attacker)
        return runCommands(fault, action, folder, nullptr);
    std::atomic_bool stop = false;
    std::thread attacker(fault.attacker, folder.dir, std::cref(stop));
    Outcome outcome = runCommands(fault, action, folder, nullptr);
    stop = true;
    attacker.join();
    return outcome;
}

bool writeAll(int fd, const QByteArray &bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = write(fd, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno != EINTR)
            return false;
        done += std::max<ssize_t>(written, 0);
    }
    return true;
}

// The child's result, or an empty optional with the reason in `failure`.
std::optional<Outcome> runInChild(const Fault &fault, const Action &action,
                                  const CaseFolder &folder, QString *failure) {
    constexpr int timeoutMs = 60000;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *failure = QStringLiteral("pipe: ") + systemErrorText();
        return {};
    }
    const pid_t child = fork();
    if (child < 0) {
        *failure = QStringLiteral("fork: ") + systemErrorText();
        return {};
    }
    if (child == 0) {
        // Nothing may unwind from here into the test runner this child inherited.
        try {
            close(fds[0]);
            QByteArray reply;
            QDataStream out(&reply, QIODevice::WriteOnly);
            out << runConfined(fault, action, folder);
            _exit(writeAll(fds[1], reply) ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    close(fds[1]);

    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    bool hung = false;
    for (;;) {
        pollfd readable{fds[0], POLLIN, 0};
        const int remaining = int(std::max<qint64>(0, timeoutMs - clock.elapsed()));
        const int ready = poll(&readable, 1, remaining);
        if (ready == 0) {
            hung = true;
            break;
        }
        if (ready < 0 && errno == EINTR)
            continue;
        char chunk[65536];
        const ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        reply.append(chunk, got);
    }
    close(fds[0]);
    if (hung)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    if (hung) {
        *failure = QStringLiteral("the command did not return within %1 s").arg(timeoutMs / 1000);
        return {};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *failure = WIFSIGNALED(status)
                       ? QStringLiteral("the command died of signal %1").arg(WTERMSIG(status))
                       : QStringLiteral("the child exited with %1").arg(WEXITSTATUS(status));
        return {};
    }
    Outcome outcome;
    QDataStream in(reply);
    in >> outcome;
    if (in.status() != QDataStream::Ok) {
        *failure = QStringLiteral("the child's report was cut short");
        return {};
    }
    return outcome;
}

// The real Qt launcher with a default browser that never ends: the editor must not wait for it.
Outcome runWithSystemLauncher(const Fault &fault, const Action &action, const CaseFolder &folder) {
    QTemporaryDir stubFolder;
    const QString pidFile = stubFolder.filePath(QStringLiteral("pid"));
    const QString stub = stubFolder.filePath(QStringLiteral("hanging-browser"));
    const QByteArray pidTarget = '\'' + QFile::encodeName(pidFile) + '\'';
    writeBytes(stub, "#!/bin/sh\necho $$ > " + pidTarget + ".new && mv " + pidTarget + ".new " +
                         pidTarget + "\nexec sleep infinity\n");
    QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Registered for text/html as the desktop registers a browser.
    QDir(stubFolder.path()).mkdir(QStringLiteral("applications"));
    writeBytes(stubFolder.filePath(QStringLiteral("applications/hanging-browser.desktop")),
               "[Desktop Entry]\nType=Application\nName=Hanging browser\nExec=" +
                   QFile::encodeName(stub) + " %u\n");
    writeBytes(stubFolder.filePath(QStringLiteral("mimeapps.list")),
               "[Default Applications]\ntext/html=hanging-browser.desktop\n");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(stubFolder.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(stubFolder.path()));

    QWidget window;
    QtRuntimeServices system(&window);
    Outcome outcome = runCommands(fault, action, folder, &system);
    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("XDG_CONFIG_HOME", configHome);

    QDeadlineTimer started(10000);
    while (!QFile::exists(pidFile) && !started.hasExpired())
        QTest::qWait(20);
    const qint64 stubPid = QFile::exists(pidFile) ? readBytes(pidFile).trimmed().toLongLong() : 0;
    outcome.launcherReached = stubPid > 0;
    if (stubPid > 0)
        kill(pid_t(stubPid), SIGKILL);
    return outcome;
}

void makeRemovable(const QString &root) {
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    chmod(QFile::encodeName(root), 0700);
    while (it.hasNext())
        chmod(QFile::encodeName(it.next()), 0700);
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Expected)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void faultLeavesEveryFileIntact_data();
    void faultLeavesEveryFileIntact();

private:
    mode_t m_umask = 022;
    std::unique_ptr<QTemporaryDir> m_dir;
    CaseFolder m_case;
};

void TestFaults::initTestCase() {
    m_umask = umask(0);
    umask(m_umask);
}

void TestFaults::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_case = {QDir(m_dir->path()), {}, {}};
    // The preview goes to the current folder.
    m_case.current.enter(m_dir->path());
}

void TestFaults::cleanup() {
    for (const QString &mountPoint : std::as_const(m_case.mounts))
        umount2(QFile::encodeName(mountPoint), MNT_DETACH);
    makeRemovable(m_dir->path());
    m_dir.reset();
}

void TestFaults::faultLeavesEveryFileIntact_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Action>("action");
    QTest::addColumn<Expected>("expected");

    const QString large(300000, u'字');
    const QString longName = QString(100, u'长') + QStringLiteral(".Devov");
    const QByteArray withNuls("<p>\0a\0</p>\r\n\0\0\r\n", 16);
    const QString lineText = QStringLiteral("<b>编辑器</b>").repeated(4 * mebibyte);
    const QByteArray lineBytes =
        QByteArray("<b>\xb1\xe0\xbc\xad\xc6\xf7</b>").repeated(4 * mebibyte);

    // Disk full: the old file stays whole and no temporary file is left.
    QTest::newRow("save, file size limit reached in a large write")
        << Fault{.plant = {file("doc.Devov", yesterday)},
                 .runIn = RunIn::FileSizeLimitedChild,
                 .fileSizeLimit = 64 * 1024}
        << Action{.document = large, .commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/doc.Devov", "磁盘空间不足")}};
    QTest::newRow("save, file size limit reached in a small buffered write")
        << Fault{.plant = {file("doc.Devov", yesterday)},
                 .runIn = RunIn::FileSizeLimitedChild,
                 .fileSizeLimit = 8}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/doc.Devov", "磁盘空间不足")}};
    QTest::newRow("generate, small disk runs out in a large write")
        << Fault{.plant = {smallDisk("disk", 64 * 1024), file("disk/page.htm", yesterday)}}
        << Action{.document = large, .commands = {Command::Generate}, .names = {"@/disk/page.htm"}}
        << Expected{.boxes = {failure(generateFailed, "@/disk/page.htm", "磁盘空间不足")}};
    QTest::newRow("save, disk already full")
        << Fault{.plant = {smallDisk("disk", 64 * 1024), file("disk/doc.Devov", yesterday),
                           fillDisk("disk/filler")}}
        << Action{.commands = {Command::Save}, .names = {"@/disk/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/disk/doc.Devov", "磁盘空间不足")}};

    // Names the program must refuse rather than write some other way.
    QTest::newRow("save over a read-only target")
        << Fault{.plant = {file("doc.Devov", yesterday, 0444)}, .runIn = RunIn::UnprivilegedChild}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/doc.Devov", "没有权限")}};
    // Where no file can be made beside the target, it is written in place.
    QTest::newRow("save in a read-only folder over a writable target writes it in place")
        << Fault{.plant = {file("doc.Devov", yesterday, 0666), permissions(".", 0555)},
                 .runIn = RunIn::UnprivilegedChild}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {saved()}, .written = {{"doc.Devov", documentBytes}}};
    const QList<Step> mountedAlone = {folder("real"), file("real/page.htm", yesterday),
                                      file("page.htm", {}),
                                      fileMountedAlone("page.htm", "real/page.htm")};
    QTest::newRow("save over a file mounted alone writes it in place")
        << Fault{.plant = mountedAlone}
        << Action{.commands = {Command::Save}, .names = {"@/page.htm"}}
        << Expected{.boxes = {saved()},
                    .written = {{"page.htm", documentBytes}, {"real/page.htm", documentBytes}}};
    QTest::newRow("save in place past a file size limit puts the old bytes back")
        << Fault{.plant = mountedAlone,
                 .runIn = RunIn::FileSizeLimitedChild,
                 .fileSizeLimit = 64 * 1024}
        << Action{.document = large, .commands = {Command::Save}, .names = {"@/page.htm"}}
        << Expected{.boxes = {failure(saveFailed, "@/page.htm", "磁盘空间不足")}};
    QTest::newRow("save onto a folder")
        << Fault{.plant = {folder("doc.Devov")}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/doc.Devov", "这是一个文件夹，不是文件")}};
    QTest::newRow("save under a name longer than 255 bytes")
        << Fault{} << Action{.commands = {Command::Save}, .names = {"@/" + longName}}
        << Expected{.boxes = {failure(saveFailed, "@/" + longName, "文件名太长")}};
    QTest::newRow("generate into a missing folder")
        << Fault{} << Action{.commands = {Command::Generate}, .names = {"@/missing/page.htm"}}
        << Expected{.boxes = {failure(generateFailed, "@/missing/page.htm", "文件或文件夹不存在")}};
    QTest::newRow("save through a dangling symlink")
        << Fault{.plant = {symbolicLink("doc.Devov", "nowhere.Devov")}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {failure(saveFailed, "@/doc.Devov", "链接指向的文件不存在")}};

    // Links and modes of a document saved over.
    QTest::newRow("save a symlinked document updates the target and keeps the link")
        << Fault{.plant = {file("real.Devov", yesterday), symbolicLink("doc.Devov", "real.Devov")}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {saved()}, .written = {{"real.Devov", documentBytes}}};
    QTest::newRow("save a hard-linked document leaves the other link's old bytes")
        << Fault{.plant = {file("doc.Devov", yesterday), hardLink("other.Devov", "doc.Devov")}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {saved()}, .written = {{"doc.Devov", documentBytes}}};
    const QString nameOf250Bytes = QString(82, u'长') + QStringLiteral(".htm");
    QTest::newRow("save over a file whose name is 250 bytes long")
        << Fault{.plant = {file(nameOf250Bytes, yesterday)}}
        << Action{.commands = {Command::Save}, .names = {"@/" + nameOf250Bytes}}
        << Expected{.boxes = {saved()}, .written = {{nameOf250Bytes, documentBytes}}};
    QTest::newRow("save over a colleague's page in a group-shared folder keeps its group")
        << Fault{.plant = {permissions(".", 0755), folder("shared"), owner("shared", nobody, 2000),
                           permissions("shared", 0775), file("shared/page.Devov", yesterday, 0664),
                           owner("shared/page.Devov", nobody, 2000)},
                 .runIn = RunIn::GroupMemberChild}
        << Action{.commands = {Command::Save}, .names = {"@/shared/page.Devov"}}
        << Expected{.boxes = {saved()},
                    .written = {{"shared/page.Devov", documentBytes}},
                    .owners = {{"shared/page.Devov", "1500:2000"}}};
    QTest::newRow("save keeps mode 0640")
        << Fault{.plant = {file("doc.Devov", yesterday, 0640)}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {saved()}, .written = {{"doc.Devov", documentBytes}}};
    QTest::newRow("save over a private page: another user watching gets no descriptor")
        << Fault{.plant = {permissions(".", 0755), file("secret.Devov", yesterday, 0600)},
                 .attacker = readNewFilesAsAnotherUser}
        << Action{.commands = QList<Command>(50, Command::Save),
                  .names = QStringList(50, "@/secret.Devov")}
        << Expected{.written = {{"secret.Devov", documentBytes}}};
    QTest::newRow("save keeps the ACL, user attributes and the setgid bit")
        << Fault{.plant = {file("page.htm", yesterday, 02660),
                           attribute("page.htm", "system.posix_acl_access", aclWithNobody),
                           attribute("page.htm", "user.origin", "网页")}}
        << Action{.commands = {Command::Save}, .names = {"@/page.htm"}}
        << Expected{.boxes = {saved()}, .written = {{"page.htm", documentBytes}}};
    QTest::newRow("root saving over a user's page leaves it the user's")
        << Fault{.plant = {file("page.htm", yesterday), owner("page.htm", 1500, 1500)}}
        << Action{.commands = {Command::Save}, .names = {"@/page.htm"}}
        << Expected{.boxes = {saved()},
                    .written = {{"page.htm", documentBytes}},
                    .owners = {{"page.htm", "1500:1500"}}};
    QTest::newRow("save clears what a killed save left, and only that")
        << Fault{.plant = {leftOver(".zariza-k1lled00", geteuid()),
                           leftOver(".zariza-n0b0dy00", nobody), file("doc.Devov", yesterday)}}
        << Action{.commands = {Command::Save}, .names = {"@/doc.Devov"}}
        << Expected{.boxes = {saved()},
                    .written = {{"doc.Devov", documentBytes}},
                    .removedByFault = {".zariza-k1lled00"}};

    // The preview writes Cs.htm into the current folder, whoever planted what there.
    QTest::newRow("preview with Cs.htm a symlink to another file")
        << Fault{.plant = {file("victim.txt", yesterday), symbolicLink("Cs.htm", "victim.txt")}}
        << Action{.commands = {Command::Preview}}
        << Expected{.boxes = {failure(previewFailed, "@/Cs.htm", notAPlainFile)}};
    QTest::newRow("preview with Cs.htm a FIFO")
        << Fault{.plant = {fifo("Cs.htm")}} << Action{.commands = {Command::Preview}}
        << Expected{.boxes = {failure(previewFailed, "@/Cs.htm", notAPlainFile)}};
    QTest::newRow("preview with Cs.htm a folder")
        << Fault{.plant = {folder("Cs.htm")}} << Action{.commands = {Command::Preview}}
        << Expected{.boxes = {failure(previewFailed, "@/Cs.htm", notAPlainFile)}};
    QTest::newRow("preview while another user swaps Cs.htm for a link, 1000 times")
        << Fault{.plant = {file("victim.txt", yesterday), file("Cs.htm", yesterday)},
                 .attacker = swapPreviewForLink}
        << Action{.commands = QList<Command>(1000, Command::Preview)}
        << Expected{.removedByFault = {"Cs.htm"}};
    QTest::newRow("preview in a current folder removed and made anew")
        << Fault{.plant = {removedCurrentFolder("site")}} << Action{.commands = {Command::Preview}}
        << Expected{.boxes = {failure(previewFailed, "@/site", "当前文件夹已被删除或无法访问")}};
    QTest::newRow("preview in a read-only current folder")
        << Fault{.plant = {permissions(".", 0555)}, .runIn = RunIn::UnprivilegedChild}
        << Action{.commands = {Command::Preview}}
        << Expected{.boxes = {failure(previewFailed, "@/Cs.htm", "没有权限")}};
    // The browser never exits: waiting for it would never return. Starting it forks the test
    // process, which under AddressSanitizer on a busy machine took up to 240 ms.
    QTest::newRow("preview with a launcher that hangs")
        << Fault{.runIn = RunIn::ThisProcessWithSystemLauncher}
        << Action{.commands = {Command::Preview}}
        << Expected{.written = {{"Cs.htm", documentBytes}},
                    .launched = {"@/Cs.htm"},
                    .launchWithinMs = 2000};

    // Open refuses what is not a document of sane size and keeps the document meanwhile.
    QTest::newRow("open a FIFO")
        << Fault{.plant = {fifo("pipe.htm")}}
        << Action{.commands = {Command::Open}, .names = {"@/pipe.htm"}}
        << Expected{.boxes = {askedToOpen(), failure(openFailed, "@/pipe.htm", "这不是普通文件")}};
    QTest::newRow("open /dev/zero")
        << Fault{} << Action{.commands = {Command::Open}, .names = {"/dev/zero"}}
        << Expected{.boxes = {askedToOpen(), failure(openFailed, "/dev/zero", "这不是普通文件")}};
    QTest::newRow("open a folder")
        << Fault{.plant = {folder("pages.htm")}}
        << Action{.commands = {Command::Open}, .names = {"@/pages.htm"}}
        << Expected{.boxes = {askedToOpen(),
                              failure(openFailed, "@/pages.htm", "这是一个文件夹，不是文件")}};
    QTest::newRow("open a file that vanishes once chosen")
        << Fault{.plant = {file("gone.htm", yesterday)},
                 .afterChoice = [](const QString &chosen) { QFile::remove(chosen); }}
        << Action{.commands = {Command::Open}, .names = {"@/gone.htm"}}
        << Expected{.boxes = {askedToOpen(), failure(openFailed, "@/gone.htm", "文件不存在")},
                    .removedByFault = {"gone.htm"}};
    QTest::newRow("open a file without read permission")
        << Fault{.plant = {file("secret.htm", yesterday, 0200)}, .runIn = RunIn::UnprivilegedChild}
        << Action{.commands = {Command::Open}, .names = {"@/secret.htm"}}
        << Expected{.boxes = {askedToOpen(), failure(openFailed, "@/secret.htm", "没有权限")}};
    QTest::newRow("open a 200 MB file")
        << Fault{.plant = {sparseFile("big.htm", 200 * mebibyte)}}
        << Action{.commands = {Command::Open}, .names = {"@/big.htm"}}
        << Expected{.boxes = {askedToOpen(),
                              failure(openFailed, "@/big.htm", "文件太大（超过 64 MB）")}};
    QTest::newRow("open NUL bytes and save them back unchanged")
        << Fault{.plant = {file("nul.Devov", withNuls)}}
        << Action{.commands = {Command::Open, Command::Save},
                  .names = {"@/nul.Devov", "@/copy.Devov"}}
        << Expected{.boxes = {askedToOpen(), saved()},
                    .document = QString::fromLatin1("<p>\0a\0</p>\r\n\0\0", 14),
                    .written = {{"copy.Devov", withNuls}}};
    const QString utf16Text = QStringLiteral("<title>编辑器</title>\r\n<p>中文</p>");
    QTest::newRow("open UTF-16 without a byte-order mark and generate it as GBK")
        << Fault{.plant = {file("u16.htm", QStringEncoder(QStringEncoder::Utf16LE)
                                               .encode(utf16Text + QStringLiteral("\r\n")))}}
        << Action{.commands = {Command::Open, Command::Generate},
                  .names = {"@/u16.htm", "@/out.htm"}}
        << Expected{.boxes = {askedToOpen(), box(BoxKind::Notice, QStringLiteral("提示"),
                                                 QStringLiteral("文件生成完成！"))},
                    .document = utf16Text,
                    .written = {{"out.htm", "<title>\xb1\xe0\xbc\xad\xc6\xf7</title>\r\n"
                                            "<p>\xd6\xd0\xce\xc4</p>\r\n"}}};
    QTest::newRow("open a 50 MB page with 40 MiB of address space to spare")
        << Fault{.plant = {file("big.htm", QByteArray("<p>\xb1\xe0\xbc\xad\xc6\xf7</p>\r\n")
                                               .repeated(50 * mebibyte / 15))},
                 .runIn = RunIn::AddressSpaceLimitedChild,
                 .addressSpaceHeadroom = 40 * mebibyte}
        << Action{.commands = {Command::Open}, .names = {"@/big.htm"}}
        << Expected{.boxes = {askedToOpen(), failure(openFailed, "@/big.htm", "内存不足")}};
    QTest::newRow("open one 50 MB line")
        << Fault{.plant = {file("long.htm", lineBytes + "\r\n")}}
        << Action{.commands = {Command::Open}, .names = {"@/long.htm"}}
        << Expected{.boxes = {askedToOpen()}, .document = lineText};
}

void TestFaults::faultLeavesEveryFileIntact() {
    QFETCH(Fault, fault);
    QFETCH(Action, action);
    QFETCH(Expected, expected);

    const QString folder = m_case.dir.path();
    try {
        for (const Step &step : std::as_const(fault.plant))
            step(m_case);
        if (fault.runIn == RunIn::UnprivilegedChild)
            handToNobody(folder);
    } catch (const CaseSkipped &skipped) {
        QSKIP(qPrintable(skipped.reason));
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }
    Snapshot before;
    QVERIFY(takeSnapshot(m_case.dir, &before));

    QString failure;
    const std::optional<Outcome> outcome = fault.runIn == RunIn::ThisProcessWithSystemLauncher
                                               ? runWithSystemLauncher(fault, action, m_case)
                                               : runInChild(fault, action, m_case, &failure);
    QVERIFY2(outcome, qPrintable(failure));
    if (!outcome->skipped.isEmpty())
        QSKIP(qPrintable(outcome->skipped));

    if (!fault.attacker) {
        QCOMPARE(outcome->boxes, inFolder(expected.boxes, folder));
        QCOMPARE(outcome->launched, inFolder(expected.launched, folder));
    }
    QCOMPARE(outcome->document, expected.document.value_or(action.document));
    for (auto it = expected.owners.cbegin(); it != expected.owners.cend(); ++it) {
        struct stat status {};
        QVERIFY(lstat(QFile::encodeName(m_case.dir.filePath(it.key())), &status) == 0);
        QCOMPARE(QStringLiteral("%1:%2").arg(status.st_uid).arg(status.st_gid), it.value());
    }
    Snapshot after;
    QVERIFY(takeSnapshot(m_case.dir, &after));
    QCOMPARE(lines(after), lines(expectedAfter(before, expected, m_umask)));
    if (expected.launchWithinMs) {
        QVERIFY2(outcome->launcherReached, "the browser was never started");
        QVERIFY2(outcome->launchMs >= 0 && outcome->launchMs < *expected.launchWithinMs,
                 qPrintable(QStringLiteral("launching took %1 ms").arg(outcome->launchMs)));
    }
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
