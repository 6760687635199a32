// Keeps a library target valid while a development build filters all its sources out.
