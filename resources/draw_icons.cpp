// Draws the program's own toolbar pictures, hand cursor and application
// icon into resources/icons, each at 1x and 2x so that high-density screens
// get sharp pictures. Run it after changing a picture:
//   build/resources/quillion_draw_icons resources/icons
// The window icons of the four kinds are pictures of the fractals
// themselves, made by the program's own renderer:
//   quillion --render --type N --size 64x64 --output type-N.png
// and at 128x128 for type-N@2x.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <complex>
#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

const QColor kOutline(0x40, 0x40, 0x48);

QPen Outline(double width = 1.0) { return QPen(kOutline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A picture drawn in a 16-unit square at `size` pixels.
QImage Render(int size, double units, const Draw& draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / units, size / units);
    draw(p);
    return image;
}

void Page(QPainter& p)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(Outline());
    p.setBrush(Qt::white);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(10, 1.5);
    fold.lineTo(10, 5);
    fold.lineTo(13.5, 5);
    p.setBrush(QColor(0xdd, 0xdd, 0xe4));
    p.drawPath(fold);
}

void Sparkle(QPainter& p, QPointF c, double r, QColor color)
{
    QPainterPath star;
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        const double len = i % 2 ? r * 0.35 : r;
        const QPointF q = c + QPointF(std::cos(a) * len, std::sin(a) * len);
        i == 0 ? star.moveTo(q) : star.lineTo(q);
    }
    star.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(star);
}

void New(QPainter& p)
{
    Page(p);
    Sparkle(p, {6.5, 10}, 3.2, QColor(0xf0, 0x9a, 0x1a));
}

void Open(QPainter& p)
{
    p.setPen(Outline());
    p.setBrush(QColor(0xe0, 0xb0, 0x40));
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(13.5, 5);
    back.lineTo(13.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.drawPath(back);
    QPainterPath flap;
    flap.moveTo(1.5, 13.5);
    flap.lineTo(4, 7.5);
    flap.lineTo(15, 7.5);
    flap.lineTo(13.5, 13.5);
    flap.closeSubpath();
    p.setBrush(QColor(0xf8, 0xd0, 0x60));
    p.drawPath(flap);
}

void Save(QPainter& p)
{
    p.setPen(Outline());
    p.setBrush(QColor(0x3a, 0x6e, 0xc8));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1.5, 8, 5.5));
    p.setBrush(QColor(0xb8, 0xc0, 0xcc));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawRect(QRectF(9, 10.5, 1.5, 3));
}

void Landscape(QPainter& p, QRectF frame)
{
    p.setPen(Outline());
    p.setBrush(QColor(0x9c, 0xd4, 0xf4));
    p.drawRect(frame);
    p.save();
    p.setClipRect(frame.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf8, 0xd0, 0x30));
    p.drawEllipse(QPointF(frame.right() - 3, frame.top() + 3), 1.6, 1.6);
    QPainterPath hills;
    hills.moveTo(frame.left(), frame.bottom());
    hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.4);
    hills.lineTo(frame.left() + frame.width() * 0.6, frame.top() + frame.height() * 0.7);
    hills.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.55);
    hills.lineTo(frame.right(), frame.bottom());
    hills.closeSubpath();
    p.setBrush(QColor(0x3c, 0xa0, 0x48));
    p.drawPath(hills);
    p.restore();
}

void SaveBitmap(QPainter& p) { Landscape(p, QRectF(1.5, 2.5, 13, 11)); }

void Print(QPainter& p)
{
    p.setPen(Outline());
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(0xa8, 0xae, 0xb8));
    p.drawRoundedRect(QRectF(1.5, 6, 13, 6), 1.2, 1.2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10, 7, 4.5));
    p.setPen(QPen(QColor(0x70, 0x78, 0x88), 0.8));
    p.drawLine(QPointF(6, 11.8), QPointF(10, 11.8));
    p.drawLine(QPointF(6, 13.2), QPointF(9, 13.2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0xc0, 0x50));
    p.drawEllipse(QPointF(12.5, 8), 0.7, 0.7);
}

// A circular arrow turning clockwise, centred at `c`.
void TurnArrow(QPainter& p, QPointF c, double r, QColor color, double width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.drawArc(box, 110 * 16, 290 * 16);
    // Arrow head at the arc's clockwise end (top, 60 degrees).
    const double a = 60 * M_PI / 180;
    const QPointF tip = c + QPointF(std::cos(a) * r, -std::sin(a) * r);
    const double h = width * 1.7;
    QPainterPath head;
    head.moveTo(tip + QPointF(-h * 1.2, -h * 0.9));
    head.lineTo(tip + QPointF(h * 0.9, -h * 0.6));
    head.lineTo(tip + QPointF(-h * 0.1, h * 1.3));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(head);
}

void Rebuild(QPainter& p) { TurnArrow(p, {8, 8.5}, 5.2, QColor(0x2a, 0x9a, 0x3c), 2.2); }

void Paint(QPainter& p)
{
    // A brush laying a stroke of colour.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x30, 0x80));
    QPainterPath stroke;
    stroke.moveTo(1.5, 14.5);
    stroke.cubicTo(2, 11, 4, 10, 6, 10);
    stroke.cubicTo(7, 11.5, 5.5, 13.5, 1.5, 14.5);
    p.drawPath(stroke);
    p.save();
    p.translate(8.5, 7.5);
    p.rotate(-45);
    p.setPen(Outline(0.8));
    p.setBrush(QColor(0xa0, 0x68, 0x30));
    p.drawRoundedRect(QRectF(-1.2, -7.5, 2.4, 7), 1, 1);
    p.setBrush(QColor(0xc8, 0xcc, 0xd4));
    p.drawRect(QRectF(-1.5, -0.5, 3, 2.2));
    p.setBrush(QColor(0xd0, 0x30, 0x80));
    QPainterPath tip;
    tip.moveTo(-1.5, 1.7);
    tip.lineTo(1.5, 1.7);
    tip.quadTo(1.2, 4.2, 0, 5);
    tip.quadTo(-1.2, 4.2, -1.5, 1.7);
    p.drawPath(tip);
    p.restore();
}

void Stop(QPainter& p)
{
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45 * i) * M_PI / 180;
        octagon << QPointF(8 + 6.6 * std::cos(a), 8 + 6.6 * std::sin(a));
    }
    p.setPen(QPen(QColor(0x80, 0x10, 0x10), 1.0));
    p.setBrush(QColor(0xd8, 0x24, 0x24));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 7, 8, 2));
}

void PowerTool(QPainter& p)
{
    // The parameters' rows, read again.
    p.setPen(Outline());
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 11, 12));
    p.setPen(QPen(QColor(0x70, 0x78, 0x88), 1.0));
    for (double y : {4.5, 7.0, 9.5}) {
        p.drawLine(QPointF(3, y), QPointF(6, y));
        p.drawLine(QPointF(7.5, y), QPointF(11, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(11.5, 11.5), 4.2, 4.2);
    TurnArrow(p, {11.5, 11.7}, 2.8, QColor(0x2a, 0x64, 0xc8), 1.5);
}

void About(QPainter& p)
{
    p.setPen(QPen(QColor(0x1c, 0x48, 0x98), 1.0));
    p.setBrush(QColor(0x2a, 0x64, 0xc8));
    p.drawEllipse(QPointF(8, 8), 6.6, 6.6);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.6), 1.25, 1.25);
    p.drawRoundedRect(QRectF(6.9, 6.8, 2.2, 6.2), 0.6, 0.6);
}

// The pointing hand over links, in a 32-unit square; the tip of the index
// finger is at (12, 2).
void Hand(QPainter& p)
{
    QPainterPath hand;
    hand.moveTo(10, 4);
    hand.quadTo(10, 2, 12, 2);
    hand.quadTo(14, 2, 14, 4);
    hand.lineTo(14, 12.5);
    hand.quadTo(14.2, 11, 16, 11);
    hand.quadTo(18, 11, 18, 13);
    hand.quadTo(18.2, 12, 20, 12);
    hand.quadTo(22, 12, 22, 14);
    hand.quadTo(22.2, 13, 24, 13);
    hand.quadTo(26, 13, 26, 15.5);
    hand.lineTo(26, 22);
    hand.quadTo(26, 26, 23.5, 29);
    hand.lineTo(13, 29);
    hand.quadTo(11, 26, 8, 22.5);
    hand.lineTo(4.8, 18.5);
    hand.quadTo(3.6, 16.5, 5.4, 15.6);
    hand.quadTo(7, 15, 8.5, 16.8);
    hand.lineTo(10, 18.5);
    hand.closeSubpath();
    p.setPen(QPen(Qt::black, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    p.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 13), QPointF(18, 19));
    p.drawLine(QPointF(22, 14), QPointF(22, 19.5));
}

// The program's own icon: the Mandelbrot set on a dark rounded square.
QImage AppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QImage set(size, size, QImage::Format_RGB32);
    const int sub = size <= 32 ? 4 : 2; // supersampling per axis
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0;
            for (int sy = 0; sy < sub; ++sy)
                for (int sx = 0; sx < sub; ++sx) {
                    const std::complex<double> c(-0.65 + ((x + (sx + 0.5) / sub) / size - 0.5) * 2.9,
                                                 ((y + (sy + 0.5) / sub) / size - 0.5) * 2.9);
                    std::complex<double> z = 0;
                    int n = 0;
                    const int limit = 200;
                    while (n < limit && std::norm(z) < 16) {
                        z = z * z + c;
                        ++n;
                    }
                    if (n == limit) {
                        r += 20, g += 16, b += 60;
                        continue;
                    }
                    const double t = (n + 1 - std::log2(std::log2(std::norm(z)) / 2)) / 24.0;
                    const double s = std::max(0.0, std::min(1.0, t));
                    r += 12 + 243 * std::pow(s, 0.9);
                    g += 24 + 190 * std::pow(s, 1.6);
                    b += 70 + 120 * std::sin(s * M_PI);
                }
            const int k = sub * sub;
            set.setPixel(x, y, qRgb(int(r / k), int(g / k), int(b / k)));
        }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath square;
    const double m = size / 32.0;
    square.addRoundedRect(QRectF(m, m, size - 2 * m, size - 2 * m), size * 0.18, size * 0.18);
    p.setClipPath(square);
    p.drawImage(0, 0, set);
    return image;
}

bool Write(const QImage& image, const QString& path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources/icons");
    QDir().mkpath(out + "/toolbar");
    const std::pair<const char*, void (*)(QPainter&)> buttons[] = {
        {"new", New},         {"open", Open},   {"save", Save}, {"save-bitmap", SaveBitmap}, {"print", Print},
        {"rebuild", Rebuild}, {"paint", Paint}, {"stop", Stop}, {"power-tool", PowerTool},   {"about", About},
    };
    bool ok = true;
    for (const auto& [name, draw] : buttons) {
        ok &= Write(Render(16, 16, draw), QString("%1/toolbar/%2.png").arg(out, name));
        ok &= Write(Render(32, 16, draw), QString("%1/toolbar/%2@2x.png").arg(out, name));
    }
    ok &= Write(Render(32, 32, Hand), out + "/hand.png");
    ok &= Write(Render(64, 32, Hand), out + "/hand@2x.png");
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= Write(AppIcon(size), QString("%1/quillion-%2.png").arg(out).arg(size));
    return ok ? 0 : 1;
}
