// Finding and removing the records of one table in the file's page tree.
//
// Probes are key-only records shorter than what they look for:
//   [table][kind]      FindNext gives the first record of that kind
//   [table][kind + 1]  FindPrevious gives the last one
//   [table + 1]        FindPrevious gives the table's last record
//   [0xFE][name]       FindExact gives the table-name record
//   [0xFE]             FindNext gives the first table-name record of the file
// An answer counts only when it has the table number (and kind) asked for.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/storage/record_node.h"

namespace vantrose {

class FileStore;
class TableState;

// First and last record of a kind in a table, or none.
RecordNode* FirstOfKind(FileStore& store, uint32_t table, uint8_t kind);
RecordNode* LastOfKind(FileStore& store, uint32_t table, uint8_t kind);

// The table-name record of `name`, or none.
RecordNode* FindTableName(FileStore& store, std::string_view name);
// The table number that `name` holds; false when there is no such table or
// its name record is damaged (data not four bytes).
bool FindTableNumber(FileStore& store, std::string_view name, uint32_t* table);
// Inserts the name record [0xFE][name] -> table (writer mode).
void InsertTableName(FileStore& store, std::string_view name, uint32_t table);
// True while any table-name record is left in the file.
bool AnyTableName(FileStore& store);

// Draws the next number of the file's sequence counter, numerically.
uint32_t NextNumber(FileStore& store);

// Deletes every record of table `table`, from its last record backwards
// through one cursor (writer mode).
void DeleteTableRecords(FileStore& store, uint32_t table);
// Empties the state's table: deletes its records and abandons the stores of
// its dynamic indexes, which never reach the file.
void DeleteTable(TableState& state);

}  // namespace vantrose
