#include "common/StatusProvider.h"

#include "common/TableFormatter.h"

namespace Orbanex {

void StatusProvider::dumpStatus(std::ostream& os) {
    TableFormatter fmtr;
    dumpStatus(fmtr);
    fmtr.toHTML(os);
}

void StatusProvider::dumpDebug(std::ostream& os) {
    TableFormatter fmtr;
    dumpDebug(fmtr);
    fmtr.toHTML(os);
}

void StatusProvider::dumpStatus(TableFormatter&) {}

void StatusProvider::dumpDebug(TableFormatter&) {}

}  // namespace Orbanex
