#pragma once
// The people table of the alarm record, made with the rest of its schema: one row per finished
// person. Times as the episodes keep them; reading_celsius NULL for a person not measured;
// threshold_celsius, the alarm threshold in force, NULL in rows from before it was kept.

#define PEOPLE_SCHEMA_STATEMENTS                                                                             \
    "CREATE TABLE IF NOT EXISTS people ("                                                                    \
    " id INTEGER PRIMARY KEY,"                                                                               \
    " number INTEGER NOT NULL,"                                                                              \
    " first_local TEXT NOT NULL, first_utc INTEGER NOT NULL,"                                                \
    " last_local TEXT NOT NULL, last_utc INTEGER NOT NULL,"                                                  \
    " reading_celsius REAL,"                                                                                 \
    " alarmed INTEGER NOT NULL DEFAULT 0,"                                                                   \
    " counted_frames INTEGER NOT NULL DEFAULT 0,"                                                            \
    " threshold_celsius REAL)",                                                                              \
        "CREATE INDEX IF NOT EXISTS people_by_last ON people(last_utc)",
