#include "Views/TextTones.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace torvel {

namespace {

// Keeps a label's colour right for the palette it sits in.
class ToneKeeper : public QObject {
public:
    static constexpr char kName[] = "textToneKeeper";

    ToneKeeper(QLabel* label, TextTone tone) : QObject(label), label_(label), tone_(tone) {
        setObjectName(QLatin1String(kName));
        label->installEventFilter(this);
        apply();
    }
    void setTone(TextTone tone) {
        tone_ = tone;
        apply();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::PaletteChange && !applying_) apply();
        return false;
    }

private:
    void apply() {
        applying_ = true;
        QPalette palette = label_->palette();
        const QColor colour = textToneColour(tone_, palette.color(QPalette::Window));
        // The disabled look stays the theme's own.
        palette.setColor(QPalette::Active, QPalette::WindowText, colour);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
        label_->setPalette(palette);
        applying_ = false;
    }

    QLabel* label_;
    TextTone tone_;
    bool applying_ = false;
};

}  // namespace

QColor textToneColour(TextTone tone, const QColor& background) {
    // Hues people read as error, success and warning; saturated, but not neon on a dark theme.
    const float hue = (tone == TextTone::error ? 4.0f : tone == TextTone::success ? 135.0f : 30.0f) / 360.0f;
    constexpr float kSaturation = 0.75f;
    constexpr double kWanted = 4.5;
    // Darker on a background that black stands out on better than white, lighter otherwise.
    const bool lightBackground = contrastRatio(background, Qt::black) >= contrastRatio(background, Qt::white);
    double lightness = lightBackground ? 0.42 : 0.62;
    const double step = lightBackground ? -0.02 : 0.02;
    QColor colour = QColor::fromHslF(hue, kSaturation, static_cast<float>(lightness));
    while (contrastRatio(colour, background) < kWanted && lightness > 0.0 && lightness < 1.0) {
        lightness = std::clamp(lightness + step, 0.0, 1.0);
        colour = QColor::fromHslF(hue, kSaturation, static_cast<float>(lightness));
    }
    return colour;
}

void setTextTone(QLabel* label, TextTone tone) {
    if (auto* keeper =
            label->findChild<QObject*>(QLatin1String(ToneKeeper::kName), Qt::FindDirectChildrenOnly)) {
        static_cast<ToneKeeper*>(keeper)->setTone(tone);
        return;
    }
    new ToneKeeper(label, tone);
}

}  // namespace torvel
