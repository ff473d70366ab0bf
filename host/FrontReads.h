// The reading exports keep the last files' front reads; the writing exports tell them when a
// file was rewritten, since a rewrite of the same size within the file system's timer resolution
// leaves the name, size and last-write time they key on as they were.
#pragma once

// Drops every kept read, and any read begun before this call from being kept.
void ForgetFrontReads();
