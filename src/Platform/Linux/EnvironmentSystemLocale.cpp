#include "Platform/Linux/EnvironmentSystemLocale.h"

#include <QCollator>
#include <QString>
#include <cstdlib>
#include <string_view>

namespace torvel {

namespace {

bool meaningful(std::string_view locale) {
    return !locale.empty() && locale != "C" && locale != "POSIX" && locale.rfind("C.", 0) != 0;
}

}  // namespace

std::vector<std::string> EnvironmentSystemLocale::preferredLanguages() const {
    std::vector<std::string> out;
    // LC_ALL overrides everything; LANGUAGE lists preferences in order and is only honoured for a
    // real locale, as gettext does.
    const char* all = std::getenv("LC_ALL");
    const char* messages = std::getenv("LC_MESSAGES");
    const char* lang = std::getenv("LANG");
    std::string_view effective = all && *all ? all : messages && *messages ? messages : lang ? lang : "";
    if (const char* language = std::getenv("LANGUAGE"); language && meaningful(effective)) {
        std::string_view list(language);
        while (!list.empty()) {
            const auto colon = list.find(':');
            const auto item = list.substr(0, colon);
            if (meaningful(item) && item.size() < 64) out.emplace_back(item);
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    if (meaningful(effective) && effective.size() < 64) out.emplace_back(effective);
    return out;
}

namespace {

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

EnvironmentSystemLocale::EnvironmentSystemLocale() : collator_(std::make_unique<QCollator>()) {
    collator_->setCaseSensitivity(Qt::CaseInsensitive);  // in the system locale
}

EnvironmentSystemLocale::~EnvironmentSystemLocale() = default;

int EnvironmentSystemLocale::compareIgnoringCase(std::string_view a, std::string_view b) const {
    return collator_->compare(qtext(a), qtext(b));
}

bool EnvironmentSystemLocale::containsIgnoringCase(std::string_view text, std::string_view part) const {
    return qtext(text).contains(qtext(part), Qt::CaseInsensitive);
}

}  // namespace torvel
