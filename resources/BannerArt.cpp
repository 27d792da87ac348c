// Draws the four banner images of the left pane (184 x 84 pixels each) and writes them as
// PNG files. Not part of the program: run by hand when the banners change,
//     QT_QPA_PLATFORM=offscreen <build>/resources/banner_art <this folder>
// and commit the images it writes; the program carries them through banners.qrc.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

struct Banner {
    const char* file;
    const char* title;
    const char* line;
    QColor from;
    QColor to;
};

// The vendor's other (fictional) products, one banner each.
const Banner kBanners[] = {
    {"banner1.png", "Kestrel Backup", "Copies you can trust", QColor(0x1d, 0x4e, 0x89),
     QColor(0x3a, 0x8f, 0xd6)},
    {"banner2.png", "Lumen Notes", "Notes that stay private", QColor(0x6a, 0x2c, 0x70),
     QColor(0xc0, 0x5c, 0xb3)},
    {"banner3.png", "Quill Vault", "Passwords under lock", QColor(0x1f, 0x6b, 0x3a),
     QColor(0x5c, 0xb8, 0x5c)},
    {"banner4.png", "Harbor Sync", "Your folders, everywhere", QColor(0x8a, 0x4b, 0x08),
     QColor(0xe0, 0x9a, 0x2c)},
};

QImage Draw(const Banner& banner) {
    QImage image(184, 84, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 184, 84);
    gradient.setColorAt(0, banner.from);
    gradient.setColorAt(1, banner.to);
    QPainterPath card;
    card.addRoundedRect(QRectF(0.5, 0.5, 183, 83), 8, 8);
    painter.fillPath(card, gradient);
    painter.setPen(QPen(QColor(255, 255, 255, 70), 10));
    painter.drawEllipse(QPointF(160, 18), 34, 34);  // a light ring for depth
    painter.setPen(Qt::white);
    QFont title("Sans", 15, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRect(12, 10, 168, 28), Qt::AlignLeft | Qt::AlignVCenter, banner.title);
    QFont line("Sans", 9);
    painter.setFont(line);
    painter.drawText(QRect(12, 38, 168, 18), Qt::AlignLeft | Qt::AlignVCenter, banner.line);
    painter.setPen(QColor(255, 255, 255, 200));
    painter.drawText(QRect(12, 58, 168, 18), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Learn more \u203a"));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = QDir().mkpath(folder);
    for (const Banner& banner : kBanners) {
        const QString path = folder + "/" + banner.file;
        const bool saved = ok && Draw(banner).save(path);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                     qPrintable(path));
        ok = ok && saved;
    }
    return ok ? 0 : 1;
}
