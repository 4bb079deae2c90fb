#include "kit/Pictures.h"

#include <QFile>
#include <QPainter>

#include "widgets/Palette.h"

namespace {
const QString kHelpResource = QStringLiteral(":/pictures/help.jpg");
const QSize kStandInSize(1563, 2048);

QByteArray ReadResource(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QImage StandInHelp() {
    QImage img(kStandInSize, QImage::Format_RGB888);
    img.fill(Palette::White);
    QPainter p(&img);
    p.setPen(QPen(Palette::Navy, 6));
    p.drawRect(img.rect().adjusted(20, 20, -20, -20));
    for (int y = 200; y < img.height() - 100; y += 200) p.drawLine(100, y, img.width() - 100, y);
    QFont f;
    f.setPixelSize(72);
    f.setBold(true);
    p.setFont(f);
    p.drawText(img.rect().adjusted(0, 40, 0, 0), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("ZORVA Basic"));
    return img;
}
}  // namespace

QImage ToQImage(sJpegImage&& image) {
    if (image.Width <= 0 || image.Height <= 0) return {};
    auto* pixels = new std::vector<uint8_t>(std::move(image.Rgb));
    return QImage(
        pixels->data(), image.Width, image.Height, image.Width * 3, QImage::Format_RGB888,
        [](void* info) { delete static_cast<std::vector<uint8_t>*>(info); }, pixels);
}

QSize HelpPictureSize() {
    QByteArray data = ReadResource(kHelpResource);
    if (data.isEmpty()) return kStandInSize;
    try {
        int w = 0, h = 0;
        ReadJpegSize(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()), w, h);
        return QSize(w, h);
    } catch (const cJpegError&) {
        return kStandInSize;
    }
}

QImage HelpPicture(const std::string& language) {
    // The picture with the labels in that language, else the English one.
    QByteArray data;
    if (!language.empty() && language != "en")
        data = ReadResource(QStringLiteral(":/pictures/help-%1.jpg").arg(QString::fromStdString(language)));
    if (data.isEmpty()) data = ReadResource(kHelpResource);
    if (data.isEmpty()) return StandInHelp();
    try {
        return ToQImage(DecodeJpeg(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())));
    } catch (const cJpegError&) {
        return StandInHelp();
    }
}
