#include "facet/ClassAliases.h"

#include <mutex>
#include <vector>

namespace {

struct ClassAlias {
    WString alias;
    WString base;
};

struct AliasTable {
    std::mutex lock;
    std::vector<ClassAlias> aliases;
};

AliasTable& Table()
{
    static AliasTable table;
    return table;
}

std::vector<ClassAlias>::iterator FindAlias(std::vector<ClassAlias>& aliases, WStringView name)
{
    WString wanted(name);
    for (auto it = aliases.begin(); it != aliases.end(); ++it) {
        if (lstrcmpiW(it->alias.c_str(), wanted.c_str()) == 0)
            return it;
    }
    return aliases.end();
}

} // namespace

void RegisterEngineClassAlias(WStringView baseClass, WStringView alias)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto found = FindAlias(table.aliases, alias);
    if (found != table.aliases.end())
        found->base = baseClass;
    else
        table.aliases.push_back({ WString(alias), WString(baseClass) });
}

WString EngineBaseClassOf(WStringView className)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto found = FindAlias(table.aliases, className);
    return found == table.aliases.end() ? WString(className) : found->base;
}

void ClearEngineClassAliases()
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.aliases.clear();
}
