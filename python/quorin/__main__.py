"""`python -m quorin`, the same as the quorin command."""

from quorin.cli import main

raise SystemExit(main())
