// Draws the launcher's icons and logos with QPainter, so that every picture
// the window shows is made for this project and can be drawn again at any
// size. scripts/draw-icons.sh runs it and the PNGs are kept in resources/.
//   orvel_icon_painter ICON_DIR IMAGE_DIR
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace
{

constexpr int kIcon = 64; // drawn at 64 px: crisp at 24-32 px on 2x screens

const QColor kSidebarInk(0xec, 0xf0, 0xf6);
const QColor kTitleInk(0x5b, 0x64, 0x73);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kBlue(0x2f, 0x6f, 0xd6);
const QColor kGreen(0x23, 0x9a, 0x5c);
const QColor kRed(0xd2, 0x45, 0x45);

using Draw = std::function<void(QPainter&)>;

QImage Paint(int nWidth, int nHeight, const Draw& fnDraw)
{
    QImage image(nWidth, nHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    fnDraw(painter);
    return image;
}

QPen Stroke(const QColor& color, double dWidth)
{
    return QPen(color, dWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

bool Save(const QImage& image, const QString& strPath)
{
    if (!image.save(strPath))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
        return false;
    }
    return true;
}

// The application mark: a blue rounded square with a white arrow landing on a shelf.
void DrawMark(QPainter& p, const QRectF& box)
{
    QLinearGradient gradient(box.topLeft(), box.bottomRight());
    gradient.setColorAt(0, QColor(0x3d, 0x86, 0xf0));
    gradient.setColorAt(1, QColor(0x1f, 0x4f, 0xb4));
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(box, box.width() * 0.22, box.width() * 0.22);
    const double s = box.width() / 64.0;
    p.translate(box.topLeft());
    p.scale(s, s);
    p.setPen(Stroke(kWhite, 6));
    p.drawLine(QPointF(32, 14), QPointF(32, 38));
    p.drawPolyline(QPolygonF({QPointF(22, 29), QPointF(32, 39), QPointF(42, 29)}));
    p.drawLine(QPointF(18, 49), QPointF(46, 49));
    p.resetTransform();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: orvel_icon_painter ICON_DIR IMAGE_DIR\n");
        return 2;
    }
    const QDir icons(QString::fromLocal8Bit(argv[1]));
    const QDir images(QString::fromLocal8Bit(argv[2]));
    bool bOk = true;
    const auto icon = [&](const char* pszName, const Draw& fnDraw)
    { bOk = Save(Paint(kIcon, kIcon, fnDraw), icons.filePath(QString::fromLatin1(pszName))) && bOk; };

    // Sidebar: light line icons on the dark sidebar.
    icon("ver_browser.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kSidebarInk, 5));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(12, 20, 34, 34), 4, 4);
             p.drawPolyline(QPolygonF({QPointF(20, 12), QPointF(52, 12), QPointF(52, 44)}));
             p.drawLine(QPointF(20, 32), QPointF(38, 32));
             p.drawLine(QPointF(20, 42), QPointF(32, 42));
         });
    icon("res_repair.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kSidebarInk, 6));
             p.drawLine(QPointF(16, 48), QPointF(36, 28));
             p.setPen(Stroke(kSidebarInk, 5));
             p.setBrush(Qt::NoBrush);
             QPainterPath head;
             head.arcMoveTo(QRectF(30, 10, 24, 24), 200);
             head.arcTo(QRectF(30, 10, 24, 24), 200, 250);
             p.drawPath(head);
         });
    icon("res_clear.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kSidebarInk, 5));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(QPolygonF({QPointF(8, 20), QPointF(8, 52), QPointF(44, 52)}));
             p.drawPolyline(QPolygonF({QPointF(16, 12), QPointF(28, 12), QPointF(32, 18), QPointF(56, 18),
                                       QPointF(56, 44), QPointF(16, 44), QPointF(16, 12)}));
             p.drawPolyline(QPolygonF({QPointF(28, 31), QPointF(34, 37), QPointF(46, 25)}));
         });
    icon("show_log.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kSidebarInk, 5));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(10, 10, 44, 44), 6, 6);
             p.drawPolyline(QPolygonF({QPointF(18, 24), QPointF(24, 30), QPointF(18, 36)}));
             p.drawLine(QPointF(30, 38), QPointF(44, 38));
         });
    icon("setting.png",
         [](QPainter& p)
         {
             p.setPen(Qt::NoPen);
             p.setBrush(kSidebarInk);
             p.translate(32, 32);
             for (int i = 0; i < 8; ++i)
             {
                 p.drawRoundedRect(QRectF(-5, -26, 10, 12), 2, 2);
                 p.rotate(45);
             }
             p.resetTransform();
             p.drawEllipse(QPointF(32, 32), 17, 17);
             p.setCompositionMode(QPainter::CompositionMode_Clear);
             p.drawEllipse(QPointF(32, 32), 7, 7);
         });

    // Title bar: dark glyphs on the light panel.
    icon("minimize.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kTitleInk, 5));
             p.drawLine(QPointF(16, 40), QPointF(48, 40));
         });
    icon("close.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kTitleInk, 5));
             p.drawLine(QPointF(18, 18), QPointF(46, 46));
             p.drawLine(QPointF(46, 18), QPointF(18, 46));
         });

    // Actions: white on the coloured buttons.
    icon("update_latest.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kWhite, 6));
             p.drawLine(QPointF(32, 8), QPointF(32, 40));
             p.drawPolyline(QPolygonF({QPointF(18, 27), QPointF(32, 41), QPointF(46, 27)}));
             p.drawPolyline(QPolygonF({QPointF(10, 42), QPointF(10, 54), QPointF(54, 54), QPointF(54, 42)}));
         });
    icon("launch.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kWhite, 5));
             p.setBrush(kWhite);
             p.drawPolygon(QPolygonF({QPointF(20, 12), QPointF(52, 32), QPointF(20, 52)}));
         });

    // Transfer controls: coloured glyphs on the light panel.
    icon("pause.png",
         [](QPainter& p)
         {
             p.setPen(Qt::NoPen);
             p.setBrush(kBlue);
             p.drawRoundedRect(QRectF(16, 12, 11, 40), 3, 3);
             p.drawRoundedRect(QRectF(37, 12, 11, 40), 3, 3);
         });
    icon("start.png",
         [](QPainter& p)
         {
             p.setPen(Stroke(kGreen, 4));
             p.setBrush(kGreen);
             p.drawPolygon(QPolygonF({QPointF(18, 12), QPointF(50, 32), QPointF(18, 52)}));
         });
    icon("stop.png",
         [](QPainter& p)
         {
             p.setPen(Qt::NoPen);
             p.setBrush(kRed);
             p.drawRoundedRect(QRectF(14, 14, 36, 36), 5, 5);
         });

    // The application icon, in the sizes a desktop asks for.
    const QImage mark = Paint(256, 256, [](QPainter& p) { DrawMark(p, QRectF(8, 8, 240, 240)); });
    bOk =
        Save(mark.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation), icons.filePath("app.ico")) &&
        bOk;
    bOk = Save(mark, icons.filePath("app.png")) && bOk;
    bOk = Save(Paint(112, 112, [](QPainter& p) { DrawMark(p, QRectF(4, 4, 104, 104)); }),
               images.filePath("sidebar_logo.png")) &&
          bOk;

    // The word mark beside the title: mark and name.
    bOk = Save(Paint(336, 72,
                     [](QPainter& p)
                     {
                         DrawMark(p, QRectF(4, 4, 64, 64));
                         QFont font(QStringLiteral("DejaVu Sans"));
                         font.setPixelSize(38);
                         font.setBold(true);
                         p.setFont(font);
                         p.setPen(QColor(0x1d, 0x26, 0x33));
                         p.drawText(QRectF(80, 0, 256, 72), Qt::AlignVCenter | Qt::AlignLeft,
                                    QStringLiteral("QHalvane"));
                     }),
               images.filePath("main_logo.png")) &&
          bOk;
    return bOk ? 0 : 1;
}
