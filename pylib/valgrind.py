"""valgrind's memcheck as the tests and the fuzzing run it: any memory error
or definite leak fails the run, the libraries' own faults passed over
(suppressions/valgrind.supp). `python3 -m pylib.valgrind` prints the command
one argument a line, for shell."""
import os

SUPPRESSIONS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                            "suppressions", "valgrind.supp")
COMMAND = ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
           "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
           "--suppressions=" + SUPPRESSIONS]

if __name__ == "__main__":
    print("\n".join(COMMAND))
