#include "ui/web-links.h"

#include <QDesktopServices>
#include <QLabel>
#include <QRegularExpression>
#include <QUrl>

#include "hublet/log-sink.h"
#include "ui/help-info-dialog.h"

#ifndef ZUCAM_WEBSITE
#define ZUCAM_WEBSITE ""
#endif

namespace {

const char* const kBundledHelpPage = "qrc:/help/help.html";

}  // namespace

QString WebLinks::WebSite() {
    return QString::fromUtf8(ZUCAM_WEBSITE).trimmed();
}

QString WebLinks::BundledHelpPage() {
    return QString::fromLatin1(kBundledHelpPage);
}

bool WebLinks::IsBundledHelpPage(const QString& url) {
    const QUrl parsed(url);
    return parsed.scheme() == QLatin1String("qrc") &&
           parsed.path() == QLatin1String("/help/help.html");
}

void WebLinks::Retarget(QLabel* label, const QString& site) {
    if (!label || site.isEmpty())
        return;
    QString text = label->text();
    // Only whole link targets are replaced, anchors included ("#no-voice").
    static const QRegularExpression target(QStringLiteral("href=\"qrc:/help/help\\.html[^\"]*\""));
    text.replace(target, QStringLiteral("href=\"%1\"").arg(site.toHtmlEscaped()));
    label->setText(text);
}

void WebLinks::DropHelpLinks(QLabel* label) {
    if (!label)
        return;
    QString text = label->text();
    static const QRegularExpression link(
        QStringLiteral("<a\\s[^>]*href=\"qrc:/help/help\\.html[^\"]*\"[^>]*>.*?</a>"),
        QRegularExpression::DotMatchesEverythingOption);
    text.remove(link);
    // What joined the links, or led up to them, would be left dangling.
    // A full-width comma (U+FF0C) or the word "or" (U+6216) ends a Chinese lead-in.
    static const QRegularExpression dangling(
        QStringLiteral("(\\s|&nbsp;|\\||,|%1|%2|\\bor\\b)+$").arg(QChar(0xFF0C), QChar(0x6216)));
    text.remove(dangling);
    label->setText(text);
}

void WebLinks::PointAtSite(QLabel* label, const QString& site) {
    if (site.isEmpty())
        DropHelpLinks(label);
    else
        Retarget(label, site);
}

bool WebLinks::Open(QWidget* parent, const QString& url) {
    if (IsBundledHelpPage(url)) {
        HelpInfoDialog page(parent);
        page.exec();
        return true;
    }
    if (QDesktopServices::openUrl(QUrl(url)))
        return true;
    BG_LOGE("the link %s could not be opened in a browser", qUtf8Printable(url));
    return false;
}
