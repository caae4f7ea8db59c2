// placeholder: replaced as the module is written
