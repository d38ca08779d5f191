// The flood benchmark's reference: a bare program that does exactly what the
// driver contract asks and nothing more, on threads of its own. A producer
// thread queues one APC per record to a listener thread that waits
// alertably; the APC posts WM_IFSCALL to a window of the monitor's template
// and size; the window's loop (GetMessageA, IsDialogMessageA, dispatch) adds
// the row with the very list messages RenderCallRow sends through
// SendDlgItemMessageA, and hands the record back. Rows come in bursts as in
// the monitor: while more records wait (a count kept by the APC and the
// window), redrawing is off; when none wait, or 100 ms after the last
// repaint, redrawing goes back on and the list repaints once. The producer
// has 512 records, as the stand-in driver has.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// Starts the threads and creates the window over monitor (same place, size
// and columns); records are the contract's records, taken in turn.
bool ContractStart(HWND monitor, const std::vector<std::vector<uint8_t>>& records);

// One round: the contract's window comes to the top and takes records for
// seconds, or until rows records came back when rows is not 0 (after a
// warm-up of 300 rows); the rows handed back meanwhile. The calling thread
// waits meanwhile, so the monitor's flood stands still. With a marker, the
// measured stretch lies between two AddMarker calls.
double ContractRound(double seconds, uint32_t rows, const char* marker, double* elapsed);

// Adds the global atom "NAME-EDGE": a server request that names itself in
// `wineserver -d1` output, so that requests can be counted between two.
void AddMarker(const char* name, const char* edge);

// Records handed back so far.
uint32_t ContractReleased();

void ContractStop();
