#pragma once

#include "Fennick/Account.h"
#include "Fennick/Records/StoreApp.h"

#include <memory>
#include <variant>

namespace Vantorel {

// The sidebar selection: an account's "All Apps" row or one app.
class SelectedEntry {
public:
    static SelectedEntry account(std::shared_ptr<Fennick::Account> account) { return SelectedEntry(std::move(account)); }
    static SelectedEntry app(Fennick::StoreApp app) { return SelectedEntry(std::move(app)); }

    bool isAccount() const { return std::holds_alternative<std::shared_ptr<Fennick::Account>>(m_value); }
    bool isApp() const { return std::holds_alternative<Fennick::StoreApp>(m_value); }
    // Only for the matching case.
    const std::shared_ptr<Fennick::Account> &accountValue() const
    {
        return std::get<std::shared_ptr<Fennick::Account>>(m_value);
    }
    const Fennick::StoreApp &appValue() const { return std::get<Fennick::StoreApp>(m_value); }

    // Accounts are equal by id; apps by object id and whether both or neither have an icon.
    friend bool operator==(const SelectedEntry &a, const SelectedEntry &b)
    {
        if (a.isAccount() && b.isAccount()) {
            const auto &x = a.accountValue();
            const auto &y = b.accountValue();
            return x == y || (x && y && *x == *y);
        }
        if (a.isApp() && b.isApp())
            return a.appValue() == b.appValue();
        return false;
    }

private:
    explicit SelectedEntry(std::shared_ptr<Fennick::Account> account) : m_value(std::move(account)) {}
    explicit SelectedEntry(Fennick::StoreApp app) : m_value(std::move(app)) {}

    std::variant<std::shared_ptr<Fennick::Account>, Fennick::StoreApp> m_value;
};

inline size_t qHash(const SelectedEntry &entry, size_t seed = 0)
{
    if (entry.isAccount())
        return qHashMulti(seed, 0, entry.accountValue() ? entry.accountValue()->id() : QString());
    return qHashMulti(seed, 1, entry.appValue().id);
}

}  // namespace Vantorel
