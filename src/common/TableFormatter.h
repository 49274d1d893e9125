#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace Orbanex {

// A table of texts collected cell by cell (a header row of column names and rows of cells; rows
// may differ in length, missing names and cells are empty) and rendered as aligned plain text,
// HTML, XML or a Python list literal. Serves status and debug pages; cell texts are written as
// they are, without escaping. Every line written ends with std::endl.
//
// Threads: none; one table is filled and rendered by one thread.
class TableFormatter {
  public:
    typedef std::vector<std::string> RowVec;

    TableFormatter() = default;
    virtual ~TableFormatter() = default;

    // Decimals written by setCell(double), 0 to 9 (values outside are taken as the nearest).
    void setPrecision(int precision) { _precision = precision; }

    // Grows the header (with empty names) as needed. An index no vector can reach throws
    // std::length_error and changes nothing; so does setCell.
    void setHeader(size_t column, const std::string& name);

    // Grows the table (empty rows, empty cells) as needed. Numbers are written in decimal; a
    // double with exactly the precision's decimals.
    void setCell(size_t row, size_t column, const std::string& value);
    void setCell(size_t row, size_t column, int value);
    void setCell(size_t row, size_t column, unsigned int value);
    void setCell(size_t row, size_t column, long value);
    void setCell(size_t row, size_t column, unsigned long value);
    void setCell(size_t row, size_t column, long long value);
    void setCell(size_t row, size_t column, unsigned long long value);
    void setCell(size_t row, size_t column, double value);

    // The number of columns: the longer of the header and the longest row.
    size_t nbRows() const;

    // Per column, the length of its longest text (header name included).
    void computeWidths(std::vector<size_t>& widths) const;

    void toText(std::ostream& os) const;
    void toHTML(std::ostream& os) const;
    // <toptag name="title">, one <rowtag> element per row with one element per header name;
    // tags, names and cell texts are lower-cased with blanks turned into '_' (wordToTag).
    void toXML(std::ostream& os, const std::string& toptag, const std::string& rowtag,
               const std::string& title) const;
    void toPython(std::ostream& os) const;

    const RowVec& header() const { return _header; }
    const std::vector<RowVec>& cells() const { return _cells; }

  private:
    template <typename T>
    void setNumber(size_t row, size_t column, T value);

    RowVec _header;
    std::vector<RowVec> _cells;
    int _precision = 5;
};

// ' ' becomes '_', any other character its lower case.
char xmlchar(char c);
std::string wordToTag(const std::string& word);

}  // namespace Orbanex
