#include "gui/Branding.h"

#include "platform/QtDesktop.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace karv {

BrandLinks brandLinks(const BrandTexts& brand) {
    BrandLinks links;
    links.contactCaption = QString::fromUtf8("联系：") + qs(kDefaultContactId);
    links.contactUrl = qs(kDefaultContactUrl);
    links.homeUrl = qs(kDefaultHomeUrl);
    links.pictureUrl = qs(kDefaultHomeUrl);
    if (brand.brandWord.empty())
        return links;
    links.contactCaption.replace(qs(kDefaultContactId), qs(brand.contactId));
    links.contactUrl.replace(qs(kDefaultContactId), qs(brand.contactId));
    links.homeUrl = qs(brand.homeUrl);
    links.pictureUrl = qs(brand.secondUrl);
    return links;
}

QString helpText(const BrandTexts& brand) {
    const QString rule(38, '-');
    const QStringList intro = {
        "Karv软件出品的一款可以从大量文件中多条件筛选出指定文件的软件。",
        "自 1.2.0.0 版起增加了文件归类工具：用元符号（文件名、扩展名、大小、日期、所在目录、关键字等）"
        "组成动态的目标路径，把文件分批移动或复制到各自的目录。",
        "例如：找出包含某个关键字的文件；找出某一时间段内用过的文件；找出大小或字数在某一范围内的文件；"
        "找出重复的文件。",
    };
    const QStringList gestures = {"鼠标双击文件可以打开，右击可定位。"};
    const QStringList filters = {
        "1、按内容筛选：筛选文件名或文件内容中包含（或不含）指定文字的文件。按文件内容筛选只对 htm、txt "
        "等纯文本文件有意义。",
        "2、按长度筛选：筛选文件大小或内容字数在指定范围内的文件。",
        "3、按时间筛选：筛选创建、修改或访问时间在指定范围内的文件。",
        "4、按重复筛选：筛选数据相同、长度相同或文件名相同的文件。按文件名筛选时，取消勾选“判内容”，"
        "则只判断文件名的相似度。",
        "对列出的文件可以：移动、复制、删除、打开、定位、查看、复制路径、导出路径列表。",
    };
    const QStringList points = {
        "要点：",
        "重复文件要等扫描结束或被停止后才会列出，输出方式有三种：【一】相同的文件只列出一个；"
        "【全部】列出全部相同的文件；【全部减一】相同的文件除一个外全部列出。",
        "内容匹配模式有三种：【默认】按普通字符匹配，多组内容以“|”隔开；【通配】“*”代表任意多个字符，"
        "“?”代表一个字符，多组内容以“|”隔开；【正则】按正则表达式匹配。",
        "把文件拖放到列表中，选中它再单击“查看”，标题栏会显示该文件的编码。",
        "Karv软件官网：karv.example　联系：karvsoft",
    };
    const QString paragraphBreak = QStringLiteral("\r\n\r\n");
    QString text;
    for (const QStringList* section : {&intro, &gestures, &filters, &points}) {
        if (!text.isEmpty())
            text += paragraphBreak + rule + paragraphBreak;
        text += section->join(paragraphBreak);
    }
    if (!brand.brandWord.empty()) {
        text.replace(qs(kDefaultSiteName), qs(brand.siteName));
        text.replace(qs(kDefaultContactId), qs(brand.contactId));
        text.replace(qs(kDefaultBrandWord), qs(brand.brandWord));
    }
    return text;
}

QPixmap bannerBackground(const QSize& size) {
    QPixmap pixmap(size.expandedTo(QSize(1, 1)));
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, pixmap.height());
    gradient.setColorAt(0, QColor(0xf4, 0xf8, 0xfc));
    gradient.setColorAt(1, QColor(0xd9, 0xe6, 0xf2));
    painter.fillRect(pixmap.rect(), gradient);
    painter.setPen(QColor(0xb8, 0xc9, 0xdb));
    painter.drawLine(0, pixmap.height() - 1, pixmap.width(), pixmap.height() - 1);
    return pixmap;
}

QPixmap brandPicture(const QString& brandWord) {
    const QString caption = brandWord + QString::fromUtf8("软件");
    QFont font;
    font.setPointSize(13);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int height = 40;
    const int width = metrics.horizontalAdvance(caption) + height + 16;
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, width, 0);
    gradient.setColorAt(0, QColor(0x1f, 0x6f, 0xb5));
    gradient.setColorAt(1, QColor(0x2c, 0xa5, 0x8d));
    painter.setBrush(gradient);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 8, 8);
    // A sieve: a ring with three drops falling through it.
    painter.setPen(QPen(Qt::white, 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(9, 7, 22, 12));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QPointF& drop : {QPointF(14, 25), QPointF(20, 30), QPointF(26, 25)})
        painter.drawEllipse(drop, 2.4, 2.4);
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(QRect(height, 0, width - height - 6, height), Qt::AlignVCenter | Qt::AlignLeft, caption);
    return pixmap;
}

QPixmap linkIcon(LinkIcon kind) {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x1f, 0x6f, 0xb5);
    switch (kind) {
    case LinkIcon::Contact: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawRoundedRect(QRectF(1, 2, 16, 11), 3, 3);
        QPainterPath tail;
        tail.moveTo(4, 12);
        tail.lineTo(4, 17);
        tail.lineTo(9, 12);
        painter.drawPath(tail);
        painter.setBrush(Qt::white);
        for (const qreal x : {5.0, 9.0, 13.0})
            painter.drawEllipse(QPointF(x, 7.5), 1.3, 1.3);
        break;
    }
    case LinkIcon::Home: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        QPainterPath roof;
        roof.moveTo(9, 1);
        roof.lineTo(17, 9);
        roof.lineTo(1, 9);
        roof.closeSubpath();
        painter.drawPath(roof);
        painter.drawRect(QRectF(4, 8, 10, 9));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(7.5, 11, 3, 6));
        break;
    }
    case LinkIcon::Help: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xe0, 0x8a, 0x1e));
        painter.drawEllipse(QRectF(1, 1, 16, 16));
        painter.setPen(Qt::white);
        QFont font;
        font.setPixelSize(13);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRect(1, 1, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
    return pixmap;
}

QPixmap applicationIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x6f, 0xb5));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    painter.setPen(QPen(Qt::white, 5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(14, 12, 36, 18));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QPointF& drop : {QPointF(22, 40), QPointF(32, 49), QPointF(42, 40)})
        painter.drawEllipse(drop, 4, 4);
    return pixmap;
}

} // namespace karv
