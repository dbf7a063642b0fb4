#include "text_channels.h"

#include "atomic_file.h"
#include "file_errors.h"
#include "line_ends.h"
#include "runtime_services.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zariza {

namespace {

// A Chinese reason for a failed file operation; errno is read right after the failing call.
QString reasonFor(const QFileDevice &file, int savedErrno) {
    QString reason = reasonForErrno(savedErrno);
    if (!reason.isEmpty())
        return reason;
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有权限");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间不足或系统资源不足");
    default:
        return QStringLiteral("无法访问（%1）").arg(file.errorString());
    }
}

// The checks before this can be outrun: a FIFO put in the file's place afterwards would block
// open() and freeze the window. So open without blocking and check what was actually opened.
void openRegularFileForReading(QFile &file, const QString &fileName) {
#ifdef Q_OS_UNIX
    const int descriptor =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const QString reason = reasonForErrno(errno);
        throw RuntimeError(reason.isEmpty() ? QStringLiteral("无法打开") : reason, fileName);
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw RuntimeError(reasonFor(file, errno), fileName);
    }
#else
    file.setFileName(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(reasonFor(file, errno), fileName);
#endif
}

} // namespace

struct TextChannels::Channel {
    ChannelMode mode;
    QString fileName;
    // input: the whole text, handed out a line at a time from `position`, so no copy of
    // every line is kept
    QString text;
    qsizetype position = 0;
    bool clean = true;
    // output
    std::unique_ptr<AtomicFile> file;
    bool writeFailed = false;

    void write(QByteArrayView bytes);
};

void TextChannels::Channel::write(QByteArrayView bytes) {
    try {
        file->write(bytes);
    } catch (const RuntimeError &) {
        writeFailed = true;
        throw;
    }
}

TextChannels::TextChannels(const TextCodec &codec) : m_codec(codec) {}

TextChannels::~TextChannels() = default;

int TextChannels::freeFile() const {
    for (int channel = 1; channel <= maxChannel; ++channel) {
        if (!isOpen(channel))
            return channel;
    }
    throw RuntimeError(QStringLiteral("打开的文件太多"));
}

bool TextChannels::isOpen(int channel) const {
    return m_channels.count(channel) != 0;
}

void TextChannels::open(const QString &fileName, int channel, ChannelMode mode,
                        LinkHandling links) {
    if (channel < 1 || channel > maxChannel)
        throw RuntimeError(QStringLiteral("文件通道号无效"));
    if (isOpen(channel))
        throw RuntimeError(QStringLiteral("文件通道已被占用"), fileName);
    if (fileName.isEmpty())
        throw RuntimeError(QStringLiteral("没有指定文件名"));

    auto opened = std::make_unique<Channel>();
    opened->mode = mode;
    opened->fileName = fileName;
    const QFileInfo info(fileName);

    if (mode == ChannelMode::Input) {
        if (!info.exists())
            throw RuntimeError(QStringLiteral("文件不存在"), fileName);
        if (info.isDir())
            throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), fileName);
        if (!info.isFile())
            throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
        if (info.size() > maxInputBytes)
            throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxInputBytes >> 20),
                               fileName);
        QFile file;
        openRegularFileForReading(file, fileName);
        // A buffer the size of the file, not of the limit: QIODevice::read allocates all it is
        // asked for. One byte more shows that the file grew since the check; then read on to one
        // byte past the limit, so that it is still read whole or refused.
        const qint64 expectedSize = info.size();
        QByteArray bytes = file.read(expectedSize + 1);
        if (bytes.size() > expectedSize && file.error() == QFileDevice::NoError)
            bytes += file.read(maxInputBytes + 1 - bytes.size());
        if (file.error() != QFileDevice::NoError)
            throw RuntimeError(reasonFor(file, errno), fileName);
        if (bytes.size() > maxInputBytes)
            throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxInputBytes >> 20),
                               fileName);
        TextCodec::Decoded decoded = m_codec.decode(bytes);
        opened->text = std::move(decoded.text);
        opened->clean = decoded.clean;
    } else {
        if (info.isSymLink() && !info.exists())
            throw RuntimeError(QStringLiteral("链接指向的文件不存在"), fileName);
        if (info.isDir())
            throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), fileName);
        if (info.exists() && !info.isFile())
            throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
        opened->file = std::make_unique<AtomicFile>(fileName, links);
        opened->file->open();
    }
    m_channels.emplace(channel, std::move(opened));
}

TextChannels::Channel &TextChannels::openChannel(int channel, ChannelMode mode) const {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        throw RuntimeError(QStringLiteral("文件通道没有打开"));
    if (found->second->mode != mode)
        throw RuntimeError(QStringLiteral("文件通道的读写方式不对"), found->second->fileName);
    return *found->second;
}

bool TextChannels::endOfFile(int channel) const {
    const Channel &input = openChannel(channel, ChannelMode::Input);
    return input.position >= input.text.size();
}

QString TextChannels::lineInput(int channel) {
    Channel &input = openChannel(channel, ChannelMode::Input);
    const QStringView rest = QStringView(input.text).sliced(input.position);
    if (rest.isEmpty())
        throw RuntimeError(QStringLiteral("已经读到文件末尾"), input.fileName);
    const LineExtent line = firstLine(rest);
    input.position += line.length + line.terminator;
    return rest.first(line.length).toString();
}

QString TextChannels::remainingLines(int channel) {
    Channel &input = openChannel(channel, ChannelMode::Input);
    QString text = std::exchange(input.text, QString());
    text.remove(0, std::exchange(input.position, 0));
    text = withCrLfLineEnds(std::move(text));
    // The last line's end adds nothing, as when the lines are read one by one.
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return text;
}

bool TextChannels::decodedCleanly(int channel) const {
    return openChannel(channel, ChannelMode::Input).clean;
}

void TextChannels::print(int channel, QStringView item) {
    Channel &output = openChannel(channel, ChannelMode::Output);
    m_codec.encode(item, [&output](QByteArrayView bytes) { output.write(bytes); });
    output.write("\r\n");
}

void TextChannels::close(int channel) {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        return;
    // Whatever happens below, the channel is free again afterwards.
    const std::unique_ptr<Channel> closing = std::move(found->second);
    m_channels.erase(found);
    if (closing->mode == ChannelMode::Input)
        return;

    if (closing->writeFailed)
        throw RuntimeError(QStringLiteral("文件没有写完整"), closing->fileName);
    closing->file->commit();
}

void TextChannels::abandon(int channel) noexcept {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        return;
    m_channels.erase(found);
}

} // namespace zariza
