"""The README's tour of the API is run as a doctest against each core, so the
front page cannot drift from what either does; and the CPython releases it
names as supported are those the package's classifiers name."""

import doctest
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent
README = ROOT / "README.md"


def pycon_blocks():
    return re.findall(r"```pycon\n(.*?)```", README.read_text(encoding="utf-8"), flags=re.DOTALL)


def test_the_readme_has_a_tour():
    assert pycon_blocks(), "no ```pycon block in the README"


def test_every_example_of_the_tour_holds(core):
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for number, block in enumerate(pycon_blocks()):
        # The tour imports the package's names; here they come from `core`.
        block = block.replace(">>> from tessellarch import *", f">>> from {core.__name__} import *")
        test = parser.get_doctest(block, {}, f"README.md pycon block {number}", str(README), 0)
        runner.run(test)
    results = runner.summarize(verbose=False)
    assert results.failed == 0, f"{results.failed} of {results.attempted} README examples failed"
    assert results.attempted >= 10  # the tour parsed as examples, not as prose


def test_the_readme_names_the_supported_releases_of_the_classifiers():
    # Read as text: the suite also runs on 3.10, which has no tomllib.
    pyproject = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    releases = re.findall(r'"Programming Language :: Python :: (3\.\d+)"', pyproject)
    assert releases, "no CPython release among the classifiers"
    listed = f"CPython {', '.join(releases[:-1])} and {releases[-1]}"
    assert f"Supported: {listed} " in README.read_text(encoding="utf-8")
