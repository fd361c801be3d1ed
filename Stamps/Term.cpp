#include "Term.h"

namespace kelo {

std::optional<Term> termFromRaw(int raw) {
    if (raw < 0 || raw >= static_cast<int>(allTerms.size()))
        return std::nullopt;
    return static_cast<Term>(raw);
}

std::string_view label(Term term, Language language) {
    const bool dutch = language == Language::dutch;
    switch (term) {
    case Term::week:
        return "1 week";
    case Term::month:
        return dutch ? "1 maand" : "1 month";
    case Term::threeMonths:
        return dutch ? "3 maanden" : "3 months";
    case Term::year:
        return dutch ? "1 jaar" : "1 year";
    }
    return {};
}

Instant expiryDate(Term term, Instant now, const Calendar &calendar) {
    Instant later = now;
    switch (term) {
    case Term::week:
        later = calendar.adding(now, DateComponent::Day, 7);
        break;
    case Term::month:
        later = calendar.adding(now, DateComponent::Month, 1);
        break;
    case Term::threeMonths:
        later = calendar.adding(now, DateComponent::Month, 3);
        break;
    case Term::year:
        later = calendar.adding(now, DateComponent::Year, 1);
        break;
    }
    return calendar.startOfDay(later);
}

} // namespace kelo
