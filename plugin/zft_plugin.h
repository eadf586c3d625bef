// The "zft" image format for every Qt program, Qt 5 and Qt 6 alike (one
// source, built once per Qt): viewers and file managers open .zft files
// through it, and any program's "Save as" writes them.
#pragma once

#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QString>

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
    // What QImageWriter::setText() gave for this write, "key: text" pairs.
    QString description_;
};

class ZftPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "zft.json")
public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format = QByteArray()) const override;
};
