"""PCA from correlations in numpy for the engine benchmark: read the data
file (title and counts lines skipped) with numpy.loadtxt, form the
correlation matrix and diagonalise it with numpy.linalg.eigh. Prints the
BLAS kernel numpy runs, then the seconds taken as the last line."""
import sys
import time

import numpy as np



def blas_kernel():
    """The BLAS library this process loaded and, for OpenBLAS, its kernel."""
    import ctypes
    with open("/proc/self/maps") as maps:
        libs = sorted({line.split()[-1] for line in maps if "blas" in line and ".so" in line})
    for lib in libs:
        try:
            handle = ctypes.CDLL(lib)
            handle.openblas_get_corename.restype = ctypes.c_char_p
            handle.openblas_get_config.restype = ctypes.c_char_p
            return "%s: %s (%s)" % (lib, handle.openblas_get_corename().decode(),
                                    handle.openblas_get_config().decode())
        except (OSError, AttributeError):
            continue
    return ", ".join(libs) or "unknown"


start = time.perf_counter()
x = np.loadtxt(sys.argv[1], skiprows=2)
r = np.corrcoef(x, rowvar=False)
values, vectors = np.linalg.eigh(r)
seconds = time.perf_counter() - start
print("BLAS:", blas_kernel())
print(seconds)
