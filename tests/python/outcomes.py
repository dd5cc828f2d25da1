"""What a call gives, as the comparison tests see it."""

import model


def result_or_error(function, args, **options):
    """The call's result, or its exception as (type name, message): a
    failure is an outcome to compare like any result. The model's refusal to
    step too long is not, and propagates."""
    try:
        return function(*args, **options)
    except model.TooManyRuns:
        raise
    except Exception as error:
        return type(error).__name__, str(error)
