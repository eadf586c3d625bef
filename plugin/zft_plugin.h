// The "zft" image format for every Qt program: viewers and file managers
// open .zft files through it. Reading only; the converter is the writer.
#pragma once

#include <QImageIOHandler>
#include <QImageIOPlugin>

class ZftHandler : public QImageIOHandler {
public:
    bool canRead() const override;
    bool read(QImage* image) override;
    bool supportsOption(ImageOption option) const override;
    QVariant option(ImageOption option) const override;

    // Claims the device only when the picture there is well formed.
    static bool canRead(QIODevice* device);
};

class ZftPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "zft.json")
public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format = QByteArray()) const override;
};
