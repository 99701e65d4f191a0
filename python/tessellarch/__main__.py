"""``python -m tessellarch``: print the names of the built-in constants."""

from tessellarch import _orbalin_core


def main() -> int:
    for name in _orbalin_core.py_list_constants():
        print(name)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
