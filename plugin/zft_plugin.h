// The "zft" image format for every Qt program, Qt 5 and Qt 6 alike (one
// source, built once per Qt): viewers and file managers open .zft files
// through it, and any program's "Save as" writes them. Glue over the core's
// ZFT codec; its failures end here, as false and a line in Qt's log.
#pragma once

#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QPointer>
#include <QString>
#include <mutex>
#include <optional>

#include "core/failure.h"
#include "format/zft_format.h"

class ZftHandler : public QImageIOHandler {
public:
    bool canRead() const override;
    bool read(QImage* image) override;
    bool write(const QImage& image) override;
    bool supportsOption(ImageOption option) const override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant& value) override;

    // Claims the device only when the picture there is well formed.
    static bool canRead(QIODevice* device);

private:
    // The header at the device's position, judged: read once, on the first
    // question, and kept for the handler's life.
    struct Judged {
        std::optional<zft::ZftHeader> header;  // when 64 bytes are there
        std::optional<core::Failure> failure;  // what is wrong, if anything
    };
    const Judged& judged() const;

    mutable std::optional<Judged> judged_;
    // What QImageWriter::setText() gave for this write, "key: text" pairs.
    QString description_;
};

class ZftPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "zft.json")
public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format = QByteArray()) const override;

private:
    // Whether this is the first question about `device` in a row.
    bool firstAskedAbout(QIODevice* device) const;

    mutable std::mutex askedMutex_;
    mutable QPointer<QIODevice> lastAsked_;
};
