// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TAboutBoxVKQ: the About box that fills itself from the executable's version
// resource. Adds a clickable web-site label and the version reader VI, whose
// copyright and product-name labels it attaches; at each showing it sets the
// caption, the icon, the version line and the web-site label.
#include <functional>
#include <memory>
#include <string>

#include "about/gui/AboutBox.h"

class TAboutBoxVKQ : public TAboutBox {
    Q_OBJECT
public:
    explicit TAboutBoxVKQ(QWidget* parent = nullptr);
    ~TAboutBoxVKQ() override;

    std::unique_ptr<TdfsVersionInfoResource> VI;
    TAboutLabel* WebSite;

    void FormShow();
    void WebSiteClick();

    // Opens an address with the desktop's URL service; tests replace it.
    using TUrlOpener = std::function<void(const std::string& Address)>;
    static void SetUrlOpener(TUrlOpener Opener);

protected:
    TAboutBoxVKQ(QWidget* parent, TInheritedForm);
    void ComponentsLoaded() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
