#include "common/TableFormatter.h"

#include <algorithm>
#include <cctype>
#include <ostream>
#include <stdexcept>

#include "common/FastOStream.h"

namespace Orbanex {

namespace {

const char* const TEXT_SEPARATOR = "    ";

void outputRowText(std::ostream& os, const TableFormatter::RowVec& row,
                   const std::vector<size_t>& widths) {
    os << TEXT_SEPARATOR;
    for (size_t i = 0; i < row.size(); ++i) {
        os << row[i] << std::string(widths[i] - row[i].size(), ' ') << TEXT_SEPARATOR;
    }
    os << std::endl;
}

// columns is at least the row's length.
void outputRowHTML(std::ostream& os, const TableFormatter::RowVec& row, size_t columns,
                   const char* tag) {
    os << "  <tr>" << std::endl;
    for (size_t i = 0; i < columns; ++i) {
        os << "   <" << tag << '>' << (i < row.size() ? row[i] : std::string()) << "</" << tag
           << '>' << std::endl;
    }
    os << "  </tr>" << std::endl;
}

// names are the header's words already turned into tags.
void outputRowXML(std::ostream& os, const TableFormatter::RowVec& names,
                  const TableFormatter::RowVec& row, const std::string& rowtag) {
    os << "  <" << rowtag << '>' << std::endl;
    for (size_t i = 0; i < names.size(); ++i) {
        os << "   <" << names[i] << '>' << (i < row.size() ? wordToTag(row[i]) : std::string())
           << "</" << names[i] << '>' << std::endl;
    }
    os << "  </" << rowtag << '>' << std::endl;
}

void outputRowPython(std::ostream& os, const TableFormatter::RowVec& row, size_t columns) {
    os << "  (";
    for (const std::string& cell : row) os << '"' << cell << "\", ";
    for (size_t i = row.size(); i < columns; ++i) os << "\"\", ";
    os << ")," << std::endl;
}

}  // namespace

char xmlchar(char c) {
    return c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string wordToTag(const std::string& word) {
    std::string tag(word);
    std::transform(tag.begin(), tag.end(), tag.begin(), xmlchar);
    return tag;
}

namespace {

// Grows v to hold index. The largest index would wrap index + 1 to 0, and the write that follows
// would land outside v: it is refused like any count beyond max_size().
template <typename V>
void growTo(V& v, size_t index) {
    if (index < v.size()) return;
    if (index >= v.max_size()) throw std::length_error("TableFormatter: index out of range");
    v.resize(index + 1);
}

}  // namespace

void TableFormatter::setHeader(size_t column, const std::string& name) {
    growTo(_header, column);
    _header[column] = name;
}

void TableFormatter::setCell(size_t row, size_t column, const std::string& value) {
    growTo(_cells, row);
    RowVec& cells = _cells[row];
    growTo(cells, column);
    cells[column] = value;
}

template <typename T>
void TableFormatter::setNumber(size_t row, size_t column, T value) {
    StaticOStream<128> os;
    // Only a double reads the precision; setprecision takes anything above 9 as 9.
    os.setprecision(static_cast<size_t>(std::max(_precision, 0)));
    os << value;
    setCell(row, column, std::string(os.ends()));
}

void TableFormatter::setCell(size_t row, size_t column, int value) {
    setNumber(row, column, value);
}
void TableFormatter::setCell(size_t row, size_t column, unsigned int value) {
    setNumber(row, column, value);
}
void TableFormatter::setCell(size_t row, size_t column, long value) {
    setNumber(row, column, value);
}
void TableFormatter::setCell(size_t row, size_t column, unsigned long value) {
    setNumber(row, column, value);
}
void TableFormatter::setCell(size_t row, size_t column, long long value) {
    setNumber(row, column, value);
}
void TableFormatter::setCell(size_t row, size_t column, unsigned long long value) {
    setNumber(row, column, value);
}

void TableFormatter::setCell(size_t row, size_t column, double value) {
    setNumber(row, column, value);
}

size_t TableFormatter::nbRows() const {
    size_t columns = _header.size();
    for (const RowVec& row : _cells) columns = std::max(columns, row.size());
    return columns;
}

void TableFormatter::computeWidths(std::vector<size_t>& widths) const {
    widths.assign(nbRows(), 0);
    for (size_t i = 0; i < _header.size(); ++i) widths[i] = _header[i].size();
    for (const RowVec& row : _cells) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
}

void TableFormatter::toText(std::ostream& os) const {
    std::vector<size_t> widths;
    computeWidths(widths);
    outputRowText(os, _header, widths);
    for (const RowVec& row : _cells) outputRowText(os, row, widths);
}

void TableFormatter::toHTML(std::ostream& os) const {
    const size_t columns = nbRows();
    os << "<table border=\"1\">" << std::endl;
    os << " <thead>" << std::endl;
    outputRowHTML(os, _header, columns, "th");
    os << " </thead>" << std::endl;
    os << " <tbody>" << std::endl;
    for (const RowVec& row : _cells) outputRowHTML(os, row, columns, "td");
    os << " </tbody>" << std::endl;
    os << "</table>" << std::endl;
}

void TableFormatter::toXML(std::ostream& os, const std::string& toptag, const std::string& rowtag,
                           const std::string& title) const {
    const std::string top = wordToTag(toptag);
    const std::string rowTag = wordToTag(rowtag);
    os << '<' << top << " name=\"" << title << "\">" << std::endl;
    RowVec names(_header.size());
    std::transform(_header.begin(), _header.end(), names.begin(), wordToTag);
    for (const RowVec& row : _cells) outputRowXML(os, names, row, rowTag);
    os << "</" << top << '>' << std::endl;
}

void TableFormatter::toPython(std::ostream& os) const {
    const size_t columns = nbRows();
    os << "[" << std::endl;
    for (const RowVec& row : _cells) outputRowPython(os, row, columns);
    os << "]" << std::endl;
}

}  // namespace Orbanex
