#pragma once

#include "atomic_file.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <memory>

namespace zariza {

// How text meets bytes on disk: the document file format supplies it.
class TextCodec {
public:
    struct Decoded {
        QString text;
        bool clean = true; // false when some bytes could not be decoded
    };

    virtual ~TextCodec() = default;
    // Hands the text's bytes to `write` in order, a piece at a time as each is encoded.
    virtual void encode(QStringView text,
                        const std::function<void(QByteArrayView)> &write) const = 0;
    virtual Decoded decode(QByteArrayView bytes) const = 0;
};

enum class ChannelMode { Input, Output };

// Numbered sequential text files. An input channel reads and decodes its whole file when it is
// opened and hands it out line by line; a line ends at CR LF, LF or CR. An output channel writes
// what is printed into a new file beside the old one, which takes the old one's place only when
// the channel is closed: until then an existing file stays as it was. Every failure throws
// RuntimeError.
class TextChannels {
public:
    // Larger files are refused rather than freezing the window.
    static constexpr qint64 maxInputBytes = 64 * 1024 * 1024;
    static constexpr int maxChannel = 255;

    explicit TextChannels(const TextCodec &codec);
    ~TextChannels();
    TextChannels(const TextChannels &) = delete;
    TextChannels &operator=(const TextChannels &) = delete;

    // The lowest channel number not in use.
    int freeFile() const;
    bool isOpen(int channel) const;

    // Output through a link writes the file it leads to, unless `links` says to replace the name.
    void open(const QString &fileName, int channel, ChannelMode mode,
              LinkHandling links = LinkHandling::Follow);
    // Input: true once every line has been read.
    bool endOfFile(int channel) const;
    // Input: the next line, without its terminator.
    QString lineInput(int channel);
    // Input: the lines not read yet joined with CR LF, as reading them one by one and joining
    // them would give; the text read from the file itself, not a copy, when its line ends are
    // all CR LF already. Reads to the end of the file.
    QString remainingLines(int channel);
    // Input: false when some bytes of the file could not be decoded.
    bool decodedCleanly(int channel) const;
    // Output: the text's bytes followed by CR LF, written a piece at a time as they are encoded,
    // so that no encoded copy of a whole large document is kept.
    void print(int channel, QStringView item);
    // Output: puts the new file in the old one's place once it is safely on disk, or throws and
    // leaves the old file untouched (also when an earlier print failed).
    void close(int channel);
    // Closes without writing anything; never throws. For failure paths.
    void abandon(int channel) noexcept;

private:
    struct Channel;
    Channel &openChannel(int channel, ChannelMode mode) const;

    const TextCodec &m_codec;
    std::map<int, std::unique_ptr<Channel>> m_channels;
};

// Opens a channel for one scope and closes it on every path: on scope exit a channel still open
// is abandoned, so a failure never leaves a channel busy or a half-written file behind.
class OpenChannel {
public:
    OpenChannel(TextChannels &channels, const QString &fileName, int channel, ChannelMode mode,
                LinkHandling links = LinkHandling::Follow)
        : m_channels(channels), m_channel(channel) {
        m_channels.open(fileName, channel, mode, links);
    }
    ~OpenChannel() { m_channels.abandon(m_channel); }
    OpenChannel(const OpenChannel &) = delete;
    OpenChannel &operator=(const OpenChannel &) = delete;

private:
    TextChannels &m_channels;
    int m_channel;
};

} // namespace zariza
