"""The exception of the quobrix_textfile package."""


class TextFileError(Exception):
    """A failure reported by the library, carrying its message.

    ``str(error)`` and ``error.message`` are the library's message word for
    word, for instance ``"invalid handle"`` or
    ``"cannot open 'x.txt': No such file or directory"``. Also raised when
    the shared library cannot be loaded or lacks a function.
    """

    def __init__(self, message):
        super().__init__(message)
        self.message = message
