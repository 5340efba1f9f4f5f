"""valgrind's memcheck as the tests and the fuzzing run it; for shell,
`python3 -m pylib.valgrind` prints it one argument a line."""
import os

COMMAND = ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
           "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
           "--suppressions=" + os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                            "suppressions", "valgrind.supp")]

if __name__ == "__main__":
    print("\n".join(COMMAND))
