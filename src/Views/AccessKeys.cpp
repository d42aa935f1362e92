#include "Views/AccessKeys.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QVariant>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace torvel::AccessKeys {

namespace {

// The text a control was last given here, marker included: a different text means it was changed since.
constexpr char kShownText[] = "torvelAccessKeyText";
constexpr char kExcluded[] = "torvelNoAccessKey";

// Letters every keyboard layout gives with Alt: ASCII letters ("č" may need a dead key). No digits: in
// "Stop at 20 %" the number changes with the slider and would take its key along.
bool usable(QChar c) {
    return c.unicode() < 128 && c.isLetter();
}

// How good a place is for the marker: the first character, then the start of a word, then the rest.
int rank(const QString& text, qsizetype i) {
    if (i == 0) return 0;
    return text.at(i - 1).isLetterOrNumber() ? 2 : 1;
}

// The best place for a marker in `text` on a letter not `taken`; only on `only` when given.
std::optional<qsizetype> place(const QString& text, const QSet<QChar>& taken, QChar only = QChar()) {
    std::optional<qsizetype> best;
    int bestRank = 3;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar letter = text.at(i).toLower();
        if (!usable(letter) || taken.contains(letter) || (!only.isNull() && letter != only)) continue;
        if (const int r = rank(text, i); r < bestRank) {
            best = i;
            bestRank = r;
        }
    }
    return best;
}

QString marked(const QString& text, std::optional<qsizetype> at) {
    QString out;
    out.reserve(text.size() + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (at && i == *at) out += QLatin1Char('&');
        out += text.at(i);
        if (text.at(i) == QLatin1Char('&')) out += QLatin1Char('&');
    }
    return out;
}

// The letter after the marker of a marked text, lower case; null without one.
QChar markerLetter(const QString& shown) {
    for (qsizetype i = 0; i + 1 < shown.size(); ++i) {
        if (shown.at(i) != QLatin1Char('&')) continue;
        if (shown.at(i + 1) != QLatin1Char('&')) return shown.at(i + 1).toLower();
        ++i;
    }
    return {};
}

// One text that can carry a letter: a button, a buddy label or a tab.
struct Item {
    QWidget* page = nullptr;  // the tab page it is on; nullptr: the window itself
    std::function<QString()> current;
    std::function<QString()> remembered;
    std::function<void(const QString&)> show;  // sets a marked text and remembers it

    bool unchanged() const { return current() == remembered(); }
    QString plainText() const { return unchanged() ? plain(current()) : current(); }
};

Item widgetItem(QWidget* w, QWidget* page) {
    Item item;
    item.page = page;
    item.remembered = [w] { return w->property(kShownText).toString(); };
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        item.current = [button] { return button->text(); };
        item.show = [button](const QString& text) {
            button->setProperty(kShownText, text);
            button->setText(text);
        };
    } else {
        auto* label = static_cast<QLabel*>(w);
        item.current = [label] { return label->text(); };
        item.show = [label](const QString& text) {
            label->setProperty(kShownText, text);
            label->setText(text);
        };
    }
    return item;
}

Item tabItem(QTabWidget* tabs, int index) {
    Item item;
    item.current = [tabs, index] { return tabs->tabText(index); };
    item.remembered = [tabs, index] { return tabs->tabBar()->tabData(index).toString(); };
    item.show = [tabs, index](const QString& text) {
        tabs->tabBar()->setTabData(index, text);
        tabs->setTabText(index, text);
    };
    return item;
}

// The tab page of `window` that holds `w`, or nullptr when it sits outside every tab widget.
QWidget* pageOf(QWidget* w, QWidget* window, const QSet<QWidget*>& pages) {
    for (QWidget* p = w; p && p != window; p = p->parentWidget())
        if (pages.contains(p)) return p;
    return nullptr;
}

// Whether `w` or a parent of it inside `window` was excluded.
bool excluded(QWidget* w, QWidget* window) {
    for (QWidget* p = w; p && p != window; p = p->parentWidget())
        if (p->property(kExcluded).toBool()) return true;
    return false;
}

bool takesLetter(QWidget* w) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return !button->text().isEmpty();
    auto* label = qobject_cast<QLabel*>(w);
    return label && label->buddy() && !label->text().isEmpty();
}

}  // namespace

void assign(QWidget* window) {
    std::vector<Item> items;
    QSet<QWidget*> pages;
    for (auto* tabs : window->findChildren<QTabWidget*>()) {
        if (tabs->window() != window || excluded(tabs, window)) continue;
        for (int i = 0; i < tabs->count(); ++i) {
            pages.insert(tabs->widget(i));
            items.push_back(tabItem(tabs, i));
        }
    }
    for (auto* w : window->findChildren<QWidget*>()) {
        // A sheet or message box open over the window is a window of its own, with its own letters.
        if (w->window() == window && takesLetter(w) && !excluded(w, window))
            items.push_back(widgetItem(w, pageOf(w, window, pages)));
    }

    std::map<QWidget*, QSet<QChar>> taken;  // by page; nullptr: the window's own
    QSet<QChar> all;
    const auto keep = [&](QWidget* page, QChar letter) {
        taken[page].insert(letter);
        all.insert(letter);
    };
    // Letters still shown stay where they are.
    std::vector<Item*> open;
    for (auto& item : items) {
        const QChar letter = item.unchanged() ? markerLetter(item.current()) : QChar();
        if (letter.isNull()) {
            open.push_back(&item);
        } else {
            keep(item.page, letter);
        }
    }
    // The texts with the fewest letters to choose from choose first: "OK" and a short label get one, and
    // a long text still finds a letter among its many.
    std::stable_sort(open.begin(), open.end(), [](const Item* a, const Item* b) {
        const auto letters = [](const Item* item) {
            QSet<QChar> distinct;
            for (const QChar c : item->plainText())
                if (usable(c.toLower())) distinct.insert(c.toLower());
            return std::pair(item->page != nullptr, distinct.size());
        };
        return letters(a) < letters(b);
    });
    for (auto* item : open) {
        const QString text = item->plainText();
        const QSet<QChar> blocked = item->page ? (taken[nullptr] | taken[item->page]) : all;
        // A control whose text changed keeps its earlier letter where it can.
        const QChar before = markerLetter(item->remembered());
        std::optional<qsizetype> at;
        if (!before.isNull()) at = place(text, blocked, before);
        if (!at) at = place(text, blocked);
        if (at) keep(item->page, text.at(*at).toLower());
        item->show(marked(text, at));
    }
}

void exclude(QWidget* widget) {
    widget->setProperty(kExcluded, true);
}

namespace {

// Shows `text` on a control, with the letter it had when that letter is in the new text.
void showKeeping(QWidget* w, const QString& text, const std::function<void(const QString&)>& set) {
    const QChar before = markerLetter(w->property(kShownText).toString());
    const auto at = before.isNull() ? std::nullopt : place(text, {}, before);
    const QString shown = marked(text, at);
    w->setProperty(kShownText, shown);
    set(shown);
}

}  // namespace

void setText(QAbstractButton* button, const QString& text) {
    showKeeping(button, text, [button](const QString& shown) { button->setText(shown); });
}

void setText(QLabel* label, const QString& text) {
    showKeeping(label, text, [label](const QString& shown) { label->setText(shown); });
}

QString escaped(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString plain(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A marker stands before the character it marks; "&&" is a marker before "&".
        if (text.at(i) == QLatin1Char('&') && ++i == text.size()) break;
        out += text.at(i);
    }
    return out;
}

}  // namespace torvel::AccessKeys
