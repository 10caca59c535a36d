#pragma once

#include "app/AppState.h"

#include <QPixmap>
#include <QString>

namespace karv {

/// The maker's endpoints the window shows without a branding file. They are placeholders under the
/// reserved ".example" domain: a branded build supplies its own through karv.rc.
inline constexpr std::string_view kDefaultBrandWord = "Karv";
inline constexpr std::string_view kDefaultContactId = "karvsoft";
inline constexpr std::string_view kDefaultSiteName = "karv.example";
inline constexpr std::string_view kDefaultHomeUrl = "https://karv.example/";
inline constexpr std::string_view kDefaultContactUrl = "https://karv.example/contact?id=karvsoft";

/// Captions and targets of the banner's links.
struct BrandLinks {
    QString contactCaption; ///< holds the contact id
    QString contactUrl;
    QString homeUrl;    ///< 链接软件主页 and 图片软件主页
    QString pictureUrl; ///< 图片Karv软件
};

/// The defaults, or with a brand word the branding fields: the contact id replaces the default one
/// in the contact caption and target, the home URL becomes the home-page target and the second URL
/// the brand picture's target.
BrandLinks brandLinks(const BrandTexts& brand);

/// The help text "疑点说明": four sections separated by rules of 38 "-", paragraphs by blank lines,
/// line breaks CR LF. With a brand word, the brand word, contact id and site name are the branding
/// fields.
QString helpText(const BrandTexts& brand);

/// Our own artwork, drawn in code.
QPixmap bannerBackground(const QSize& size);
QPixmap brandPicture(const QString& brandWord);
enum class LinkIcon { Contact, Home, Help };
QPixmap linkIcon(LinkIcon kind);
QPixmap applicationIcon();

} // namespace karv
