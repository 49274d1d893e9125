#pragma once

#include <iosfwd>
#include <string>

namespace Orbanex {

class TableFormatter;

// A component that can describe itself on a status page and a debug page. The stream forms fill
// a fresh table through the matching hook and write it as HTML; a provider overrides the hooks
// of the pages its mask announces.
class StatusProvider {
  public:
    // Page bits of getPageMask().
    static constexpr int PAGE_STATUS = 1;
    static constexpr int PAGE_DEBUG = 2;

    virtual ~StatusProvider() = default;

    virtual std::string getProviderName() const = 0;
    // The pages this provider fills, an OR of the page bits.
    virtual int getPageMask() const = 0;

    virtual void dumpStatus(std::ostream& os);
    virtual void dumpDebug(std::ostream& os);

  protected:
    virtual void dumpStatus(TableFormatter& fmtr);
    virtual void dumpDebug(TableFormatter& fmtr);
};

}  // namespace Orbanex
