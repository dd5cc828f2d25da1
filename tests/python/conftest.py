import pathlib

import pytest

DATA = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "data" / "pabulib"


@pytest.fixture
def pabulib_dir():
    if not DATA.is_dir():
        pytest.skip("the shared pabulib elections are not beside this checkout")
    return DATA
