/* The hook driver's control codes and the result filter's values: one
 * definition for the program, the stand-in, the trace's filter and the
 * Linux hook's kernel side (plain C, so that the BPF target includes it
 * too). Each control call passes one 32-bit value by address. */
#ifndef TALVEK_DRIVER_CTL_H
#define TALVEK_DRIVER_CTL_H

enum DriverCtl {
    CTL_SET_CALLBACK = 1,  /* address of OnIfsCall; 0 unregisters */
    CTL_RELEASE_REC = 2,   /* address of a record received earlier */
    CTL_ENABLE = 3,        /* EnaMonitorFg */
    CTL_RESULT_FILTER = 4, /* ResultMonFg, one of enum ResultFilter */
    CTL_FUNC_ENABLE = 5,   /* enable byte << 16 | IFS function code */
};

/* ResultMonFg: which results the monitor reports. */
enum ResultFilter {
    RESULTS_ALL = 0,
    RESULTS_OK = 1,
    RESULTS_FAILED = 2,
};

#endif
