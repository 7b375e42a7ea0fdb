// Internals of the MySQL back end shared by its sources: the one connection
// and the way its failures are recorded.
#pragma once

#include <mysql.h>

namespace dbsql::mysql {

// The open connection, or null.
MYSQL *Connection();

// True with an open connection that has not been lost; otherwise sets the
// error text and returns false.
bool NeedConnection();

// Records a failure of the connection or of one of its statements: the
// client library's message becomes the error text, and an error number that
// means the server went away marks the connection lost, so that the next
// opening connects afresh.
void NoteFailure(unsigned int errnum, const char *message);

// Closes every prepared statement of the bound look-ups; called before the
// connection closes.
void ForgetStatements();

}  // namespace dbsql::mysql
